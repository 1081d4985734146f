#include <PellinLumberjack/DDLogFormatter.h>

namespace lumberjack {

DDLogFormatter::~DDLogFormatter() = default;

}  // namespace lumberjack
