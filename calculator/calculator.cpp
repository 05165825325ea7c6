// calculator: the four-operation menu calculator on a worker thread; at the
// end it asks the window manager to close the active window.
#include "cal.h"
#include "frame.h"

int main()
{
    return run_job(cal, {"wmctrl -c :ACTIVE:"});
}
