#include "harness.h"

namespace {

using harness::Case;

const std::vector<std::string> closing = {"sleep 8", "pause", "wmctrl -c :ACTIVE:"};
const std::string closed = "[pause]\n[wmctrl]\n"; // what the stand-ins print
// 2025-02-01 20:05:09 UTC; nine hours east it is already the next day.
const std::string moment = "FAKE_TIME=1738440309";

// clang-format off
const Case rows[] = {
    {"Utc", "timer", "", "Current Time and Date is: Sat Feb  1 20:05:09 2025\n\n" + closed, closing, {moment, "TZ=UTC"}},
    {"NineHoursEast", "timer", "", "Current Time and Date is: Sun Feb  2 05:05:09 2025\n\n" + closed, closing,
     {moment, "TZ=XYZ-9"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Timer, Transcript, harness::table(rows), harness::case_name);

} // namespace
