#include "harness.h"

namespace {

using harness::Case;

const std::vector<std::string> closing = {"sleep 8", "pause", "wmctrl -c :ACTIVE:"};
// 2025-02-01 20:05:09 UTC; nine hours east it is already the next day.
const std::string moment = "CT_FAKE_TIME=1738440309";

// A run with env, the clock moving a second at each reading: the date and
// time shown, then the hold and the closing commands: pause, which the shell
// does not find, and still wmctrl.
Case tells(std::string name, std::vector<std::string> env, const std::string &date)
{
    env.emplace_back("CT_CLOCK_STEP=1");
    return {.name = std::move(name),
            .program = "timer",
            .env = std::move(env),
            .out = "Current Time and Date is: " + date + "\n\n",
            .err = harness::pause_missing,
            .events = closing};
}

} // namespace

// clang-format off
const std::vector<Case> harness::timer_rows = {
    tells("Utc", {moment, "TZ=UTC"}, "Sat Feb  1 20:05:09 2025"),
    tells("NineHoursEast", {moment, "TZ=XYZ-9"}, "Sun Feb  2 05:05:09 2025"),
    // 2100-01-01 00:00:00 UTC, beyond what a 32-bit time_t holds (2038).
    tells("Year2100", {"CT_FAKE_TIME=4102444800", "TZ=UTC"}, "Fri Jan  1 00:00:00 2100"),
    // Without a worker thread the job runs on the main thread, and the
    // closing commands still follow it.
    tells("NoThreadForTheJob", {moment, "TZ=UTC", "CT_FAIL_NTH=thread:1"}, "Sat Feb  1 20:05:09 2025"),
};
// clang-format on

TRANSCRIPT_TESTS(Timer, harness::timer_rows);
