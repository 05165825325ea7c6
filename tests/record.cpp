// Preloaded into the programs under test. Sleeps return at once and are
// written to the file named by RECORD_LOG as "<pid> sleep <seconds>"; time()
// answers FAKE_TIME when that is set; with NO_THREADS set, no thread can be
// created, and with NO_PIPES=n, the program's first n pipes cannot be made
// (only the first few: the sanitizers' runtime makes pipes of its own later).
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

void record(const char *what, unsigned long amount)
{
    const char *log = std::getenv("RECORD_LOG");
    if (log == nullptr) {
        return;
    }
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%d %s %lu\n", static_cast<int>(getpid()), what, amount);
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = write(fd, line, static_cast<size_t>(length));
        close(fd);
    }
}

} // namespace

extern "C" {

unsigned int sleep(unsigned int seconds)
{
    record("sleep", seconds);
    return 0;
}

time_t time(time_t *result)
{
    time_t now = 0;
    if (const char *fixed = std::getenv("FAKE_TIME")) {
        now = static_cast<time_t>(std::strtoll(fixed, nullptr, 10));
    } else {
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        now = real.tv_sec;
    }
    if (result != nullptr) {
        *result = now;
    }
    return now;
}

// Only the program loses its pipes, not the shell commands it runs.
long pipes_to_fail = 0;

__attribute__((constructor)) void take_no_pipes()
{
    if (const char *count = std::getenv("NO_PIPES")) {
        pipes_to_fail = std::strtol(count, nullptr, 10);
    }
    unsetenv("NO_PIPES");
}

int pipe(int fds[2])
{
    if (pipes_to_fail > 0) {
        --pipes_to_fail;
        errno = EMFILE;
        return -1;
    }
    using pipe_fn = int (*)(int *);
    static const auto real = reinterpret_cast<pipe_fn>(dlsym(RTLD_NEXT, "pipe"));
    return real(fds);
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg)
{
    if (std::getenv("NO_THREADS") != nullptr) {
        return EAGAIN;
    }
    using create_fn = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto real = reinterpret_cast<create_fn>(dlsym(RTLD_NEXT, "pthread_create"));
    return real(thread, attr, start, arg);
}
}
