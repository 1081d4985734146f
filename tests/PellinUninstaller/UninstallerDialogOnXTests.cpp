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
    const auto script = home.writeFile("answer.sh", R"sh(preview=$1; dialog=$2; folder=$3; shift 3
# Xvfb picks a free display itself and writes its number once it accepts connections, so that
# tests running side by side never share a server.
: >"$folder/display"  # made here: the redirection below happens later, in the child
Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp >"$folder/display" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null' EXIT
while [ "$(wc -l <"$folder/display")" -lt 1 ]; do
  kill -0 $server 2>/dev/null || exit 1
  sleep 0.05
done
number=$(head -n1 "$folder/display")
case $number in ''|*[!0-9]*) exit 1 ;; esac
export DISPLAY=:$number
# Under AddressSanitizer: libxkbcommon-x11, below Qt's X11 platform, reads X replies with
# strndup, which strict string checks take for overruns.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0" "$preview" "$dialog" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^UninstallerDialogPreview$' | head -n1)
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers "$@"
wait "$pid"
)sh");
    const std::string preview =
        (pellin::test::buildDirectory() / "bin" / "UninstallerDialogPreview").string();
    const std::string command =
        "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY LANG=en_US.UTF-8 timeout 60 sh '" +
        script.string() + "' '" + preview + "' " + dialog + " '" + home.path().string() + "' " +
        keys + " 2>/dev/null";
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
        if (!installed("Xvfb") || !installed("xdotool")) {
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/setup-debian.sh installs them)";
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
