// solocalc: the four-operation menu calculator on the main thread.
#include "cal.h"
#include "frame.h"

int main()
{
    guard_std_streams();
    cal();
    return 0;
}
