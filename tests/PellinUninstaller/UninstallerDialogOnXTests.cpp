// The uninstaller's dialogs on a real X server (Xvfb), answered with keys typed through X
// (xdotool): the display probe, the application object that the presenter makes itself, and
// key delivery by the window system are all the real ones.

#include <cstdio>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TemporaryHome.h"

using ::testing::HasSubstr;

namespace {

bool installed(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Shows `dialog` in the preview program on a fresh X server, types `keys` into it once it is
// on screen, and returns what the program printed.
std::string answerOnX(const std::string& dialog, const std::string& keys) {
    pellin::test::TemporaryHome home;
    const auto script = home.writeFile("answer.sh", R"(preview=$1; dialog=$2; shift 2
"$preview" "$dialog" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^UninstallerDialogPreview$' | head -n1)
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers "$@"
wait "$pid"
)");
    const std::string preview =
        (pellin::test::buildDirectory() / "bin" / "UninstallerDialogPreview").string();
    const std::string command =
        "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY LANG=en_US.UTF-8 timeout 60 xvfb-run -a -s "
        "'-screen 0 800x600x24' sh '" +
        script.string() + "' '" + preview + "' " + dialog + " " + keys + " 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        pclose(pipe);
    }
    return out;
}

class UninstallerDialogOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!installed("xvfb-run") || !installed("xdotool")) {
            GTEST_SKIP() << "needs xvfb-run and xdotool (scripts/setup-debian.sh installs them)";
        }
    }
};

}  // namespace

TEST_F(UninstallerDialogOnX, ReturnInTheConfirmationDeclines) {
    EXPECT_THAT(answerOnX("confirm", "Return"), HasSubstr("response=1001"));
}

TEST_F(UninstallerDialogOnX, EscapeInTheConfirmationDeclines) {
    EXPECT_THAT(answerOnX("confirm", "Escape"), HasSubstr("response=1001"));
}

TEST_F(UninstallerDialogOnX, ConfirmingTakesMovingToOkAndPressingIt) {
    // The focus starts on Cancel; Shift+Tab moves it to OK, and Space presses the focused button.
    EXPECT_THAT(answerOnX("confirm", "shift+Tab space"), HasSubstr("response=1000"));
}

TEST_F(UninstallerDialogOnX, ReturnClosesTheCompletionAndErrorDialogs) {
    EXPECT_THAT(answerOnX("complete", "Return"), HasSubstr("response=1000"));
    EXPECT_THAT(answerOnX("error", "Return"), HasSubstr("response=1000"));
}
