// The same two operations through Qt's QSettings on an INI file in the same temporary HOME:
// opened, one key read, or one key set and synced to the file before returning.

#include <benchmark/benchmark.h>
#include <QSettings>
#include <QString>

#include "SettingsBenchmarkHome.h"

namespace {

QString settingsFile() {
    return QString::fromStdString(pellin::bench::temporaryHome() + "/.config/bench.ini");
}

void fillSettings() {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    for (int i = 0; i < pellin::bench::kKeyCount; ++i) {
        const QString key = QString::fromStdString(pellin::bench::benchmarkKey(i));
        settings.setValue(key, QStringLiteral("value of ") + key);
    }
    settings.sync();
}

void QSettingsOpenAndReadOneKey(benchmark::State& state) {
    fillSettings();
    for (auto _ : state) {
        const QSettings settings(settingsFile(), QSettings::IniFormat);
        benchmark::DoNotOptimize(settings.value(QStringLiteral("key-500")));
    }
}
BENCHMARK(QSettingsOpenAndReadOneKey);

void QSettingsOpenAndSetOneKey(benchmark::State& state) {
    fillSettings();
    qint64 counter = 0;
    for (auto _ : state) {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("key-500"), ++counter);
        settings.sync();
    }
}
BENCHMARK(QSettingsOpenAndSetOneKey);

}  // namespace
