// timer: shows the current local date and time.
#include "frame.h"

#include <ctime>
#include <iostream>

namespace {

void *timee(void *)
{
    const std::time_t now = std::time(nullptr);
    // ctime's text ends in its own newline; the line end after it leaves an
    // empty line below the date. (ctime gives nothing for a year it cannot
    // write, which the clock never reaches; the line then stays empty.)
    const char *text = std::ctime(&now);
    std::cout << "Current Time and Date is: " << (text != nullptr ? text : "\n") << std::endl;
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(timee, {"pause", "wmctrl -c :ACTIVE:"});
}
