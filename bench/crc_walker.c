/* The plain C walker the first scan is compared with: lists every folder below DIR with
 * readdir, reads every regular file once in 512 KB blocks and folds zlib's crc32 over it.
 * Prints the file count, the byte count and the xor of all CRCs. Usage: crc_walker DIR */
#include <dirent.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

enum { BLOCK = 512 * 1024 };

static unsigned char block[BLOCK];
static unsigned long files, folded;
static unsigned long long bytes;

static void crc_file(int folder, const char* name) {
    int fd = openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    uLong crc = crc32(0L, Z_NULL, 0);
    ssize_t n;
    while ((n = read(fd, block, BLOCK)) > 0) {
        crc = crc32(crc, block, (uInt)n);
        bytes += (unsigned long long)n;
    }
    close(fd);
    ++files;
    folded ^= crc;
}

static void walk(int folder) {
    DIR* dir = fdopendir(folder);
    if (!dir) {
        close(folder);
        return;
    }
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            int inner = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (inner >= 0)
                walk(inner);
        } else if (type == DT_REG) {
            crc_file(dirfd(dir), name);
        }
    }
    closedir(dir);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: crc_walker DIR\n", stderr);
        return 2;
    }
    int top = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) {
        perror(argv[1]);
        return 1;
    }
    walk(top);
    printf("%lu files, %llu bytes, crc xor %08lx\n", files, bytes, folded);
    return 0;
}
