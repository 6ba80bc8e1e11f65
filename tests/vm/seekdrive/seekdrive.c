/* An nbdkit plugin that serves a disc image read-only at the pace of a real optical drive:
 * each read first pays for moving the head from where the last read ended, then for the bytes
 * at the speed of that part of the disc. The guest's emulated drive answers at once wherever
 * a sector lies; through this plugin a copy that jumps about the disc costs what it costs on
 * a real drive.
 *
 * The disc is a constant-angular-velocity one: the data rate grows with the radius, from
 * inner-rate at the first sector to outer-rate at the last sector of a disc of disc-mb. The
 * image's bytes lie on it from the inner edge, as a pressed disc's do, so a small image sits
 * on the slow inner tracks. A seek costs seek-min for the shortest move up to seek-max for the
 * full stroke, growing with the square root of the radial distance (the head accelerates
 * half the way and brakes the other half). A read that starts where the last ended costs no
 * seek; a short jump forward costs reading through the gap when that is cheaper than a seek.
 * Rotational latency and the drive's own cache are left out.
 *
 * Every charge is multiplied by scale before the plugin sleeps it, so a test can run the
 * model faster than real time; the figures in the stats file are the model's own seconds.
 * slow=FIRST-LAST:SECONDS makes every read touching sectors FIRST..LAST (2048 bytes each)
 * take SECONDS more of wall time, unscaled: a scratched area the drive reads only after
 * retries, for budgets counted in wall time. bad=FIRST-LAST makes every read touching sectors
 * FIRST..LAST fail with EIO, as a drive fails what it cannot read on a scratched disc; each
 * still costs its seek and transfer, and the stats count them.
 */

#define NBDKIT_API_VERSION 2
#include <nbdkit-plugin.h>

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define SECTOR 2048
#define MAX_SLOW 8
#define MAX_BAD 32

struct slow_region {
    uint64_t first, last; /* sectors */
    double seconds;
};

/* The parameters; nbdkit plugins keep their state in the shared object. */
static char* image_path;
static char* stats_path;
static double seek_min = 0.020, seek_max = 0.150;     /* seconds */
static double inner_rate = 3.4e6, outer_rate = 7.8e6; /* bytes per second */
static double disc_bytes = 700e6;
static double scale = 1.0;
static struct slow_region slow[MAX_SLOW];
static int slow_count;
static struct { uint64_t first, last; /* sectors */ } bad[MAX_BAD];
static int bad_count;

/* The drive. */
static int image_fd = -1;
static int stats_fd = -1;
static int64_t image_size;
static uint64_t head; /* where the last read ended */
static uint64_t reads, bytes_read, seeks, failed;
static FILE* trace;
static double seek_seconds, transfer_seconds, slow_seconds;

static int parse_double(const char* key, const char* value, double* out, double unit) {
    char* end;
    errno = 0;
    double parsed = strtod(value, &end);
    if (errno || end == value || *end || !(parsed >= 0)) {
        nbdkit_error("%s: not a number >= 0: %s", key, value);
        return -1;
    }
    *out = parsed * unit;
    return 0;
}

static int parse_slow(const char* value) {
    struct slow_region r;
    int used = 0;
    if (slow_count == MAX_SLOW) {
        nbdkit_error("slow: at most %d regions", MAX_SLOW);
        return -1;
    }
    if (sscanf(value, "%" SCNu64 "-%" SCNu64 ":%lf%n", &r.first, &r.last, &r.seconds, &used) != 3 ||
        value[used] || r.last < r.first || !(r.seconds >= 0)) {
        nbdkit_error("slow: expected FIRST-LAST:SECONDS, got %s", value);
        return -1;
    }
    slow[slow_count++] = r;
    return 0;
}

static int parse_bad(const char* value) {
    int used = 0;
    if (bad_count == MAX_BAD) {
        nbdkit_error("bad: at most %d regions", MAX_BAD);
        return -1;
    }
    if (sscanf(value, "%" SCNu64 "-%" SCNu64 "%n", &bad[bad_count].first, &bad[bad_count].last,
               &used) != 2 ||
        value[used] || bad[bad_count].last < bad[bad_count].first) {
        nbdkit_error("bad: expected FIRST-LAST, got %s", value);
        return -1;
    }
    bad_count++;
    return 0;
}

static int touches_bad(uint64_t offset, uint32_t count) {
    uint64_t first = offset / SECTOR, last = (offset + count - 1) / SECTOR;
    for (int i = 0; i < bad_count; i++)
        if (first <= bad[i].last && bad[i].first <= last) return 1;
    return 0;
}

static int seekdrive_config(const char* key, const char* value) {
    if (strcmp(key, "file") == 0) {
        free(image_path);
        image_path = nbdkit_realpath(value);
        return image_path ? 0 : -1;
    }
    if (strcmp(key, "stats") == 0) {
        free(stats_path);
        stats_path = strdup(value);
        return stats_path ? 0 : -1;
    }
    if (strcmp(key, "trace") == 0) {
        if (trace) fclose(trace);
        trace = fopen(value, "a");
        if (!trace) nbdkit_error("%s: %m", value);
        return trace ? 0 : -1;
    }
    if (strcmp(key, "seek-min-ms") == 0) return parse_double(key, value, &seek_min, 1e-3);
    if (strcmp(key, "seek-max-ms") == 0) return parse_double(key, value, &seek_max, 1e-3);
    if (strcmp(key, "inner-mbps") == 0) return parse_double(key, value, &inner_rate, 1e6);
    if (strcmp(key, "outer-mbps") == 0) return parse_double(key, value, &outer_rate, 1e6);
    if (strcmp(key, "disc-mb") == 0) return parse_double(key, value, &disc_bytes, 1e6);
    if (strcmp(key, "scale") == 0) return parse_double(key, value, &scale, 1.0);
    if (strcmp(key, "slow") == 0) return parse_slow(value);
    if (strcmp(key, "bad") == 0) return parse_bad(value);
    nbdkit_error("unknown parameter %s", key);
    return -1;
}

static int seekdrive_config_complete(void) {
    struct stat st;
    if (!image_path) {
        nbdkit_error("file=IMAGE is required");
        return -1;
    }
    if (inner_rate <= 0 || outer_rate < inner_rate || disc_bytes <= 0 || seek_max < seek_min) {
        nbdkit_error("need 0 < inner-mbps <= outer-mbps, disc-mb > 0, seek-min-ms <= seek-max-ms");
        return -1;
    }
    image_fd = open(image_path, O_RDONLY | O_CLOEXEC);
    if (image_fd < 0 || fstat(image_fd, &st) < 0) {
        nbdkit_error("%s: %m", image_path);
        return -1;
    }
    image_size = st.st_size;
    if (stats_path) {
        stats_fd = open(stats_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (stats_fd < 0) {
            nbdkit_error("%s: %m", stats_path);
            return -1;
        }
    }
    return 0;
}

static void seekdrive_unload(void) {
    if (image_fd >= 0) close(image_fd);
    if (stats_fd >= 0) close(stats_fd);
    free(image_path);
    free(stats_path);
}

/* The radius at a byte offset, as a fraction of the outer edge's. The data spiral covers the
 * area between the inner and the outer radius evenly, and on a CAV disc the rate is in
 * proportion to the radius, so the inner edge lies at inner_rate / outer_rate. */
static double radius(double offset) {
    double inner = inner_rate / outer_rate;
    double fraction = fmin(offset / disc_bytes, 1.0);
    return sqrt(inner * inner + (1 - inner * inner) * fraction);
}

static double transfer_time(uint64_t offset, uint64_t count) {
    return count / (outer_rate * radius(offset + count / 2.0));
}

static double seek_time(uint64_t from, uint64_t to) {
    double stroke = 1 - inner_rate / outer_rate;
    double distance = stroke > 0 ? fabs(radius(to) - radius(from)) / stroke : 0;
    return seek_min + (seek_max - seek_min) * sqrt(fmin(distance, 1.0));
}

static double slow_time(uint64_t offset, uint32_t count) {
    uint64_t first = offset / SECTOR, last = (offset + count - 1) / SECTOR;
    double seconds = 0;
    for (int i = 0; i < slow_count; i++)
        if (first <= slow[i].last && slow[i].first <= last) seconds += slow[i].seconds;
    return seconds;
}

static void sleep_for(double seconds) {
    if (seconds <= 0) return;
    struct timespec left = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }
}

static void write_stats(void) {
    char line[256];
    if (stats_fd < 0) return;
    int n =
        snprintf(line, sizeof line,
                 "reads %" PRIu64 " bytes %" PRIu64 " seeks %" PRIu64
                 " seek_s %.6f transfer_s %.6f slow_s %.6f failed %" PRIu64 "\n",
                 reads, bytes_read, seeks, seek_seconds, transfer_seconds, slow_seconds, failed);
    if (ftruncate(stats_fd, 0) < 0 || pwrite(stats_fd, line, n, 0) != n) nbdkit_debug("stats: %m");
}

static void* seekdrive_open(int readonly) {
    (void)readonly;
    return NBDKIT_HANDLE_NOT_NEEDED;
}

static int64_t seekdrive_get_size(void* handle) {
    (void)handle;
    return image_size;
}

static int seekdrive_pread(void* handle, void* buf, uint32_t count, uint64_t offset,
                           uint32_t flags) {
    (void)handle;
    (void)flags;
    double seek = 0;
    double transfer = transfer_time(offset, count);
    if (offset != head) {
        seek = seek_time(head, offset);
        /* Reading through a short gap ahead can be quicker than moving the head. */
        double through = offset > head ? transfer_time(head, offset - head) : seek;
        if (through < seek)
            seek = through;
        else
            seeks++;
    }
    double extra = slow_time(offset, count);
    reads++;
    bytes_read += count;
    seek_seconds += seek;
    transfer_seconds += transfer;
    slow_seconds += extra;
    if (trace) {
        /* Where each read went, for finding out who moved the head: sector, sectors, seek. */
        fprintf(trace, "%" PRIu64 " %u %.4f\n", offset / SECTOR, count / SECTOR, seek);
        fflush(trace);
    }
    head = offset + count;
    int fails = touches_bad(offset, count);
    failed += fails;
    write_stats();
    sleep_for((seek + transfer) * scale + extra);
    if (fails) {
        nbdkit_set_error(EIO);
        return -1;
    }

    for (uint32_t done = 0; done < count;) {
        ssize_t n = pread(image_fd, (char*)buf + done, count - done, offset + done);
        if (n <= 0) {
            nbdkit_error("%s: read at %" PRIu64 ": %s", image_path, offset + done,
                         n < 0 ? strerror(errno) : "past its end");
            errno = n < 0 ? errno : EIO;
            return -1;
        }
        done += n;
    }
    return 0;
}

#define THREAD_MODEL NBDKIT_THREAD_MODEL_SERIALIZE_ALL_REQUESTS

static struct nbdkit_plugin plugin = {
    .name = "seekdrive",
    .longname = "an optical drive that pays for seeks and reads at CAV speeds",
    .config = seekdrive_config,
    .config_complete = seekdrive_config_complete,
    .config_help =
        "file=IMAGE [stats=FILE] [seek-min-ms=20] [seek-max-ms=150] "
        "[inner-mbps=3.4] [outer-mbps=7.8] [disc-mb=700] [scale=1] "
        "[slow=FIRST-LAST:SECONDS]... [bad=FIRST-LAST]...",
    .magic_config_key = "file",
    .unload = seekdrive_unload,
    .open = seekdrive_open,
    .get_size = seekdrive_get_size,
    .pread = seekdrive_pread,
};

NBDKIT_REGISTER_PLUGIN(plugin)
