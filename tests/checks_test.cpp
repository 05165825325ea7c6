// Each check of the harness and the preload fails a run with the fault it is
// there to catch, planted in the program by the preload (CT_PLANT).
#include "harness.h"

#include <gtest/gtest-spi.h>

#include <unistd.h>

#include <algorithm>

using harness::Case;

TEST(Checks, CatchTheirFaults)
{
    const Case &timer = harness::timer_rows[0], &saving = harness::note_rows[0];
    const Case &listing = *std::ranges::find(harness::note_rows, "ShowFile", &Case::name);
    const std::string note = " notes/notepadfile.txt";
    // A row, the fault planted (the preload's, or a command run at exit), a call made to fail, what is said.
    const std::tuple<const Case &, std::string, std::string, std::string> faults[] = {
        {timer, "echo x", "", "standard output"},
        {timer, "echo x >&2", "", "standard error"},
        {timer, "kill $PPID", "", "r.status"},
        {timer, "pause", "", "r.whats()"},
        {timer, "sleep 30", "", "timed_out"},
        {timer, "unflushed", "", "unflushed 9"},
        {timer, "clock", "", "20:05:10"},
        {timer, "descriptor", "", "changed open"},
        {timer, "ignored", "", "changed signal"},
        {timer, "blocked", "", "changed blocked"},
        {saving, "echo x >>" + note, "", note.substr(1)},
        {saving, "chmod 600" + note, "", "mode 100600"},
        {saving, "chown 12345" + note, "", "owner 12345"},
        {saving, "chgrp 12345" + note, "", "group 12345"},
        {saving, "ln" + note + " planted", "", "links 2"},
        {saving, "attribute", "", "user.planted"},
        {saving, "cp -p" + note + " planted && mv planted" + note, "", "inode"},
        {listing, "echo planted >>" + note, "", "planted"},
        {listing, "rm" + note, "", "is gone"},
        {listing, "touch notes/planted", "", "notes/planted was not there"},
        // The replays: a failed write that says all went out, or after which
        // the note is gone; a failed allocation that crashes; an interrupted
        // call not taken up again.
        {saving, "lost-write", "write:1", note.substr(1)},
        {saving, "rm" + note, "write:1", "is gone"},
        {timer, "crash", "alloc:1", "134"},
        {saving, "interrupted", "write:1:EINTR", "standard output"},
    };
    for (const auto &[row, plant, call, caught] : faults) {
        if (geteuid() != 0 && (plant.starts_with("chown") || plant.starts_with("chgrp"))) {
            continue; // only root gives a file away
        }
        testing::TestPartResultArray failures;
        {
            const testing::ScopedFakeTestPartResultReporter quiet(
                testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
            harness::check(row, {"CT_PLANT=" + plant, "CT_FAIL_NTH=" + call});
        }
        std::string said;
        for (int i = 0; i < failures.size(); ++i) {
            said += failures.GetTestPartResult(i).message();
        }
        EXPECT_NE(said.find(caught), std::string::npos) << row.name << ", " << plant << ", " << call << ":\n"
                                                        << said;
    }
}
