// bench-measure COMMAND [ARG...]: runs the command once, its standard output
// thrown away, and prints
//   "<wall seconds> <peak resident kB> <exit status> <user + system CPU seconds>".
//
// The peak is the child's ru_maxrss from wait4, the figure GNU time prints
// as %M. A small process of its own is needed for it: a child forked from a
// big process (the Python harness) inherits that process's resident size as
// its starting peak. The wall time spans fork to reaped exit, with none of the
// extra exec that wrapping every run in /usr/bin/time would add.

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-measure COMMAND [ARG...]\n");
        return 2;
    }
    timespec start{}, stop{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("bench-measure: fork");
        return 2;
    }
    if (child == 0) {
        const int null_output = open("/dev/null", O_WRONLY);
        if (null_output >= 0) dup2(null_output, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0) {
        std::perror("bench-measure: wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &stop);
    const double seconds =
        static_cast<double>(stop.tv_sec - start.tv_sec) + static_cast<double>(stop.tv_nsec - start.tv_nsec) * 1e-9;
    const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const double cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    std::printf("%.6f %ld %d %.6f\n", seconds, usage.ru_maxrss, exit_status, cpu_seconds);
    return 0;
}
