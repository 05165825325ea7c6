// forking: reads two pairs of integers; each pair goes through a pipe to a
// freshly forked child, which prints the sum and difference of the first pair
// or the product and quotient of the second.
#include "frame.h"
#include "int32.h"

#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// An operand message: the two numbers in host byte order at offsets 0 and 4,
// then zero filler; always written and read whole, in one call.
constexpr std::size_t message_size = 100;

void send(int fd, int first, int second)
{
    std::array<char, message_size> message{};
    std::memcpy(message.data(), &first, sizeof first);
    std::memcpy(message.data() + sizeof first, &second, sizeof second);
    unexamined(write(fd, message.data(), message.size()));
}

// False when no whole message came (no pipe could be made).
bool receive(int fd, int &first, int &second)
{
    std::array<char, message_size> message{};
    if (read(fd, message.data(), message.size()) != static_cast<ssize_t>(message_size)) {
        return false;
    }
    std::memcpy(&first, message.data(), sizeof first);
    std::memcpy(&second, message.data() + sizeof first, sizeof second);
    return true;
}

// One stage's prompt and pair; a number that cannot be read counts as 0.
void ask(int &first, int &second)
{
    first = 0;
    second = 0;
    std::cout << "Enter 2 digits \n";
    std::cin >> first >> second;
}

// Forks with nothing pending on standard output, so that no text goes out
// twice (after a failed read the prompt is still in the buffer).
pid_t fork_flushed()
{
    std::cout.flush();
    return fork();
}

// A child's end: the hold, its output out, exit status 0. It never returns
// into the frame: its main thread was not copied, and what main does after the
// job belongs to the parent. _exit also leaves the exit handlers to the parent.
[[noreturn]] void end_child()
{
    hold();
    std::cout.flush();
    _exit(0);
}

void *forkfunction(void *)
{
    // Ends of pipes that cannot be made stay -1: reads and writes on them fail
    // at once, and never touch the terminal.
    std::array<int, 2> operands{-1, -1};
    // The sum child writes one byte here once it has taken the first message,
    // so the second message can only reach the product child.
    std::array<int, 2> taken{-1, -1};
    unexamined(pipe(operands.data()));
    unexamined(pipe(taken.data()));

    if (fork_flushed() == 0) { // the idle child
        sleep(3);
        end_child();
    }

    int first = 0;
    int second = 0;
    ask(first, second);
    send(operands[1], first, second);
    const pid_t sum = fork_flushed();
    sleep(2);
    if (sum == 0) {
        const bool received = receive(operands[0], first, second);
        const char ack = 1;
        unexamined(write(taken[1], &ack, 1));
        if (received) {
            std::cout << "add -> " << add32(first, second) << std::endl;
            std::cout << "sub -> " << sub32(first, second) << std::endl;
        }
        end_child();
    }

    ask(first, second);
    if (sum > 0) {
        char ack = 0;
        unexamined(read(taken[0], &ack, 1));
    } else { // no sum child: take the first message back out of its way
        int unused_first = 0;
        int unused_second = 0;
        receive(operands[0], unused_first, unused_second);
    }
    send(operands[1], first, second);
    if (fork_flushed() == 0) { // the product child
        if (receive(operands[0], first, second)) {
            std::cout << "Mul -> " << mul32(first, second) << std::endl;
            std::cout << "Div -> ";
            if (const auto quotient = div32(first, second)) {
                std::cout << *quotient;
            } else {
                std::cout << "undefined";
            }
            std::cout << std::endl;
        }
        unexamined(std::system("clear"));
        end_child();
    }

    sleep(1);
    unexamined(std::system("clear"));
    hold();
    return nullptr;
}

} // namespace

int main()
{
    return run_job(forkfunction);
}
