// timer: shows the current local date and time.
#include "frame.h"

#include <cerrno>
#include <ctime>
#include <iostream>

namespace {

void *timee(void *)
{
    const std::time_t now = std::time(nullptr);
    // ctime's text ends in its own newline; the line end after it leaves an
    // empty line below the date. (ctime gives nothing for a year it cannot
    // write, which the clock never reaches; the line then stays empty.) The
    // zone's rules are read at the first call: where memory for them is
    // short, the C library says nothing and takes UTC, a time not the user's.
    errno = 0;
    const char *text = std::ctime(&now);
    if (errno == ENOMEM) {
        out_of_memory();
    }
    std::cout << "Current Time and Date is: " << (text != nullptr ? text : "\n") << std::endl;
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(timee, {"pause", "wmctrl -c :ACTIVE:"});
}
