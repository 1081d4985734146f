#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace pellin::test {

// A pseudo-terminal pair: the program under test reads and writes the terminal side as a user's
// terminal, the test types on the other side and reads what was shown.
class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int terminal() const { return terminal_; }
    // Typed keys; "\x04" at the start of a line is the end of input (Ctrl-D).
    void type(std::string_view keys) const;
    // Everything shown on the terminal so far that has not been read yet.
    std::string shown() const;
    // Closes the terminal side in this process, once a child holds it.
    void closeTerminal();

    // Starts `program` with `arguments` and `environment` on the terminal as its controlling
    // terminal and standard input, output and error.
    pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment);
    // Waits for the child and returns everything it showed.
    std::string waitAndCollect(pid_t child, int* status) const;

  private:
    int controller_ = -1;
    int terminal_ = -1;
};

}  // namespace pellin::test
