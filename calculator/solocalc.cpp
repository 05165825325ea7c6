// solocalc: the four-operation menu calculator on the main thread.
#include "cal.h"

int main()
{
    cal();
    return 0;
}
