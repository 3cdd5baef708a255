// A slow volume for tests and the benchmark: a passthrough of a folder that waits a set time
// before it serves each request, as a network share does, and caches nothing in the kernel.
//
//     zov_slowfs --delay-us=1000 SOURCE MOUNTPOINT [FUSE options]
//
// Many requests are served at once, each on a thread of its own, so a client that keeps many
// in flight waits once for all of them. The value "user.zov-requests" of the mount point says
// how many requests it has served so far, without counting or waiting for itself. A test
// fixture, not part of the program.
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

static struct {
    char* source;
    unsigned delay_us;
} g;

static const struct fuse_opt g_opts[] = {{"--delay-us=%u", offsetof(typeof(g), delay_us), 0},
                                         FUSE_OPT_END};

static int g_root = -1; // the source folder, held open

static atomic_ulong g_requests;

static void wait_a_request(void) {
    atomic_fetch_add(&g_requests, 1);
    if (g.delay_us == 0)
        return;
    struct timespec t = {g.delay_us / 1000000, (long)(g.delay_us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// The path inside the source: "/a/b" is "a/b", "/" is ".".
static const char* inside(const char* path) {
    return path[1] ? path + 1 : ".";
}

static int result(int r) {
    return r < 0 ? -errno : r;
}

static void* slow_init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    cfg->use_ino = 1; // the source's own file numbers: a file keeps its identity
    cfg->attr_timeout = 0;
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1;
    return NULL;
}

static int slow_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    wait_a_request();
    if (fi)
        return result(fstat((int)fi->fh, st));
    return result(fstatat(g_root, inside(path), st, AT_SYMLINK_NOFOLLOW));
}

static int slow_readlink(const char* path, char* buf, size_t size) {
    wait_a_request();
    const ssize_t n = readlinkat(g_root, inside(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

static int slow_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                        struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)offset, (void)fi, (void)flags;
    wait_a_request();
    const int fd = openat(g_root, inside(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return -errno;
    }
    for (struct dirent* e; (e = readdir(dir));) {
        struct stat st = {0};
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)(DTTOIF(e->d_type));
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(dir);
    return 0;
}

static int slow_mknod(const char* path, mode_t mode, dev_t rdev) {
    wait_a_request();
    return result(mknodat(g_root, inside(path), mode, rdev));
}

static int slow_mkdir(const char* path, mode_t mode) {
    wait_a_request();
    return result(mkdirat(g_root, inside(path), mode));
}

static int slow_unlink(const char* path) {
    wait_a_request();
    return result(unlinkat(g_root, inside(path), 0));
}

static int slow_rmdir(const char* path) {
    wait_a_request();
    return result(unlinkat(g_root, inside(path), AT_REMOVEDIR));
}

static int slow_symlink(const char* target, const char* path) {
    wait_a_request();
    return result(symlinkat(target, g_root, inside(path)));
}

static int slow_rename(const char* from, const char* to, unsigned int flags) {
    wait_a_request();
    return result(renameat2(g_root, inside(from), g_root, inside(to), flags));
}

static int slow_link(const char* from, const char* to) {
    wait_a_request();
    return result(linkat(g_root, inside(from), g_root, inside(to), 0));
}

static int slow_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    wait_a_request();
    if (fi)
        return result(fchmod((int)fi->fh, mode));
    return result(fchmodat(g_root, inside(path), mode, 0));
}

static int slow_chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
    wait_a_request();
    if (fi)
        return result(fchown((int)fi->fh, uid, gid));
    return result(fchownat(g_root, inside(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}

static int slow_truncate(const char* path, off_t size, struct fuse_file_info* fi) {
    wait_a_request();
    if (fi)
        return result(ftruncate((int)fi->fh, size));
    const int fd = openat(g_root, inside(path), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    const int r = result(ftruncate(fd, size));
    close(fd);
    return r;
}

static int slow_utimens(const char* path, const struct timespec ts[2], struct fuse_file_info* fi) {
    wait_a_request();
    if (fi)
        return result(futimens((int)fi->fh, ts));
    return result(utimensat(g_root, inside(path), ts, AT_SYMLINK_NOFOLLOW));
}

static int slow_open(const char* path, struct fuse_file_info* fi) {
    wait_a_request();
    const int fd = openat(g_root, inside(path), fi->flags | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int slow_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
    wait_a_request();
    const int fd = openat(g_root, inside(path), fi->flags | O_CLOEXEC, mode);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int slow_read(const char* path, char* buf, size_t size, off_t off,
                     struct fuse_file_info* fi) {
    (void)path;
    wait_a_request();
    const ssize_t n = pread((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int slow_write(const char* path, const char* buf, size_t size, off_t off,
                      struct fuse_file_info* fi) {
    (void)path;
    wait_a_request();
    const ssize_t n = pwrite((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int slow_statfs(const char* path, struct statvfs* st) {
    (void)path;
    wait_a_request();
    return result(fstatvfs(g_root, st));
}

static int slow_release(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int slow_fsync(const char* path, int datasync, struct fuse_file_info* fi) {
    (void)path;
    wait_a_request();
    return result(datasync ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}

// Extended attributes through /proc, as the source's file has them (user.DOSATTRIB).
static void procPath(const char* path, char* out, size_t size) {
    snprintf(out, size, "/proc/self/fd/%d/%s", g_root, inside(path));
}

static int slow_setxattr(const char* path, const char* name, const char* value, size_t size,
                         int flags) {
    wait_a_request();
    char p[4096];
    procPath(path, p, sizeof p);
    return result(lsetxattr(p, name, value, size, flags));
}

static int slow_getxattr(const char* path, const char* name, char* value, size_t size) {
    if (strcmp(path, "/") == 0 && strcmp(name, "user.zov-requests") == 0) {
        char count[32];
        const int n = snprintf(count, sizeof count, "%lu", atomic_load(&g_requests));
        if (size == 0)
            return n;
        if ((size_t)n > size)
            return -ERANGE;
        memcpy(value, count, (size_t)n);
        return n;
    }
    wait_a_request();
    char p[4096];
    procPath(path, p, sizeof p);
    const ssize_t n = lgetxattr(p, name, value, size);
    return n < 0 ? -errno : (int)n;
}

static int slow_listxattr(const char* path, char* list, size_t size) {
    wait_a_request();
    char p[4096];
    procPath(path, p, sizeof p);
    const ssize_t n = llistxattr(p, list, size);
    return n < 0 ? -errno : (int)n;
}

static int slow_removexattr(const char* path, const char* name) {
    wait_a_request();
    char p[4096];
    procPath(path, p, sizeof p);
    return result(lremovexattr(p, name));
}

static const struct fuse_operations g_ops = {
    .init = slow_init,
    .getattr = slow_getattr,
    .readlink = slow_readlink,
    .readdir = slow_readdir,
    .mknod = slow_mknod,
    .mkdir = slow_mkdir,
    .unlink = slow_unlink,
    .rmdir = slow_rmdir,
    .symlink = slow_symlink,
    .rename = slow_rename,
    .link = slow_link,
    .chmod = slow_chmod,
    .chown = slow_chown,
    .truncate = slow_truncate,
    .utimens = slow_utimens,
    .open = slow_open,
    .create = slow_create,
    .read = slow_read,
    .write = slow_write,
    .statfs = slow_statfs,
    .release = slow_release,
    .fsync = slow_fsync,
    .setxattr = slow_setxattr,
    .getxattr = slow_getxattr,
    .listxattr = slow_listxattr,
    .removexattr = slow_removexattr,
};

static int take_source(void* data, const char* arg, int key, struct fuse_args* out) {
    (void)data, (void)out;
    if (key == FUSE_OPT_KEY_NONOPT && !g.source) {
        g.source = realpath(arg, NULL);
        return 0; // the source is ours; the mount point goes on to FUSE
    }
    return 1;
}

int main(int argc, char* argv[]) {
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &g, g_opts, take_source) != 0 || !g.source) {
        fprintf(stderr, "usage: %s --delay-us=N SOURCE MOUNTPOINT [FUSE options]\n", argv[0]);
        return 2;
    }
    g_root = open(g.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_root < 0) {
        perror(g.source);
        return 2;
    }
    umask(0);
    const int r = fuse_main(args.argc, args.argv, &g_ops, NULL);
    fuse_opt_free_args(&args);
    return r;
}
