#include "harness.h"

namespace {

using harness::Case;

const std::vector<std::string> closing = {"sleep 8", "pause", "wmctrl -c :ACTIVE:"};
const std::string closed = "[pause]\n[wmctrl]\n"; // what the stand-ins print
// 2025-02-01 20:05:09 UTC; nine hours east it is already the next day.
const std::string moment = "CT_FAKE_TIME=1738440309";

} // namespace

// clang-format off
const std::vector<Case> harness::timer_rows = {
    {.name = "Utc", .program = "timer", .env = {moment, "TZ=UTC"},
     .out = "Current Time and Date is: Sat Feb  1 20:05:09 2025\n\n" + closed, .events = closing},
    {.name = "NineHoursEast", .program = "timer", .env = {moment, "TZ=XYZ-9"},
     .out = "Current Time and Date is: Sun Feb  2 05:05:09 2025\n\n" + closed, .events = closing},
    // 2100-01-01 00:00:00 UTC, beyond what a 32-bit time_t holds (2038).
    {.name = "Year2100", .program = "timer", .env = {"CT_FAKE_TIME=4102444800", "TZ=UTC"},
     .out = "Current Time and Date is: Fri Jan  1 00:00:00 2100\n\n" + closed, .events = closing},
    // Without a worker thread the job runs on the main thread, and the
    // closing commands still follow it.
    {.name = "NoThreadForTheJob", .program = "timer", .env = {moment, "TZ=UTC", "CT_NO_THREADS=1"},
     .out = "Current Time and Date is: Sat Feb  1 20:05:09 2025\n\n" + closed, .events = closing},
};
// clang-format on

namespace {

// Each row runs as a test of its own: Transcript/Timer.Matches/Utc, ...
class Timer : public testing::TestWithParam<Case> {};

TEST_P(Timer, Matches)
{
    harness::check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Transcript, Timer, testing::ValuesIn(harness::timer_rows), harness::case_name);

} // namespace
