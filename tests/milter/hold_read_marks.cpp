// Holds POSIX write locks on the read marks of a WAL database's shared index
// (FILE-shm) until it is killed: meanwhile every reader finds no mark it may
// take and tries again, as while a writer recovers the index.
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        fprintf(stderr, "usage: hold_read_marks DATABASE\n");
        return 2;
    }
    std::string shm = std::string(argv[1]) + "-shm";
    int fd = open(shm.c_str(), O_RDWR);
    // The shared index's lock bytes start at 120: write, checkpoint, recover, then five read marks.
    struct flock marks {};
    marks.l_type = F_WRLCK;
    marks.l_whence = SEEK_SET;
    marks.l_start = 123;
    marks.l_len = 5;
    if (fd < 0 || fcntl(fd, F_SETLK, &marks) != 0) {
        perror(shm.c_str());
        return 1;
    }
    puts("held");
    fflush(stdout);
    for (;;) pause();
}
