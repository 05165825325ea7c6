#include "frame.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
        unexamined(std::system(command));
    }
}

} // namespace

void guard_std_streams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor, the closed one, is the one opened.
            unexamined(open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY));
        }
    }
    static char buffer[BUFSIZ];
    unexamined(std::setvbuf(stdout, buffer, isatty(1) != 0 ? _IOLBF : _IOFBF, sizeof buffer));
}

int run_job(job work, std::initializer_list<const char *> closing)
{
    guard_std_streams();
    pthread_t worker{};
    if (pthread_create(&worker, nullptr, work, nullptr) == 0) {
        pthread_join(worker, nullptr);
    } else {
        work(nullptr); // no thread to be had: the job runs on the main thread
    }
    run_closing(closing);
    return 0;
}

void out_of_memory()
{
    std::cout.flush();
    std::cerr << program_invocation_short_name << ": out of memory\n";
    std::exit(1);
}

void hold()
{
    // The last screen is what the job printed: out before the wait, also
    // where no line end or read has sent it out (behind a pipe, or after a
    // read that failed).
    std::cout.flush();
    sleep(8);
}
