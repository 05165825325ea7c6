// calculator: the four-operation menu calculator on a worker thread; at the
// end it asks the window manager to close the active window.
#include "cal.h"
#include "frame.h"

namespace {

// The dialogue as the worker thread's start routine.
void *cal_thread(void *)
{
    cal();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(cal_thread, {"wmctrl -c :ACTIVE:"});
}
