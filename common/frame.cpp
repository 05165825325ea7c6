#include "frame.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace {

// Runs the closing commands through the shell, in order; their results are not
// looked at.
void run_closing(std::initializer_list<const char *> closing)
{
    for (const char *command : closing) {
        // What the shell prints must not overtake our own pending output.
        std::cout.flush();
        [[maybe_unused]] const int status = std::system(command);
    }
}

} // namespace

int run_job(job work, std::initializer_list<const char *> closing)
{
    pthread_t worker{};
    if (pthread_create(&worker, nullptr, work, nullptr) == 0) {
        pthread_join(worker, nullptr);
    } else {
        work(nullptr); // no thread to be had: do the job here rather than nothing
    }
    run_closing(closing);
    return 0;
}

void hold()
{
    sleep(8);
}
