/* What loading the database costs at least, in plain C: reads FILE (a database file: a 4-byte
 * version, the 4-byte payload length, then the zlib stream) whole and uncompresses it with zlib's
 * uncompress into a buffer of that length. For each of TIMES runs (1) prints the microseconds
 * from opening the file to the end of uncompress, the minor page faults taken meanwhile, the
 * resident set it added and the payload length, as bench/db_load_once does for the real load.
 * Usage: inflate_once FILE [TIMES] */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

static long minor_faults(void) {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

static long resident_bytes(void) {
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

/* One run; the buffers are freed before the next, as the load frees its tree. */
static int run(const char* path) {
    long faults = minor_faults(), resident = resident_bytes();
    double start = now_us();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 8) {
        perror(path);
        return 1;
    }
    size_t size = (size_t)st.st_size;
    unsigned char* file = malloc(size);
    size_t got = 0;
    ssize_t n;
    while (file && got < size && (n = read(fd, file + got, size - got)) > 0)
        got += (size_t)n;
    close(fd);
    if (!file || got != size) {
        fprintf(stderr, "%s: short read\n", path);
        return 1;
    }
    uLongf length =
        (uLongf)file[4] | (uLongf)file[5] << 8 | (uLongf)file[6] << 16 | (uLongf)file[7] << 24;
    unsigned char* payload = malloc(length ? length : 1);
    if (!payload || uncompress(payload, &length, file + 8, (uLong)(size - 8)) != Z_OK) {
        fprintf(stderr, "%s: not a zlib stream\n", path);
        return 1;
    }
    double end = now_us();
    printf("%.0f us %ld faults %ld bytes %lu payload\n", end - start, minor_faults() - faults,
           resident_bytes() - resident, (unsigned long)length);
    free(payload);
    free(file);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: inflate_once FILE [TIMES]\n", stderr);
        return 2;
    }
    int times = argc >= 3 ? atoi(argv[2]) : 1;
    for (int i = 0; i < (times > 0 ? times : 1); ++i)
        if (run(argv[1]) != 0)
            return 1;
    return 0;
}
