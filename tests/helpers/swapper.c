/* vlx_swapper SHARED A B: a native Linux program that the race proof run
 * starts through Wine. Each time the test asks (a new number in the shared
 * file's first word), it exchanges the paths A and B atomically, as a racing
 * user would (a folder and a link to a decoy), and answers with the same
 * number in the second word; the third word set to 1 ends it, and so does
 * half a minute without a request (the test that started it is gone: Wine
 * starts it through a short-lived process, so its parent tells nothing). Its
 * process id is in the fourth word; the fifth holds errno of a failed
 * exchange. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: vlx_swapper SHARED A B\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDWR);
    volatile int32_t* shared = fd < 0 ? MAP_FAILED : mmap(NULL, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (shared == MAP_FAILED) {
        perror("vlx_swapper");
        return 1;
    }
    __atomic_store_n(&shared[3], (int32_t)getpid(), __ATOMIC_SEQ_CST);
    time_t last = time(NULL);
    while (__atomic_load_n(&shared[2], __ATOMIC_SEQ_CST) == 0 && time(NULL) - last < 30) {
        const int32_t request = __atomic_load_n(&shared[0], __ATOMIC_SEQ_CST);
        if (request == __atomic_load_n(&shared[1], __ATOMIC_SEQ_CST)) {
            sched_yield();
            continue;
        }
        last = time(NULL);
        if (renameat2(AT_FDCWD, argv[2], AT_FDCWD, argv[3], RENAME_EXCHANGE) != 0) {
            __atomic_store_n(&shared[4], (int32_t)errno, __ATOMIC_SEQ_CST);
        }
        __atomic_store_n(&shared[1], request, __ATOMIC_SEQ_CST);
    }
    return 0;
}
