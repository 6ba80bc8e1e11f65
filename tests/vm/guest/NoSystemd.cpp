// The static guest program links libdbus, whose socket activation calls into libsystemd, of
// which Debian ships no static archive. The guest never runs a bus server, so these are never
// reached; they answer as libsystemd does on a system without socket activation.
#include <cerrno>

extern "C" int sd_listen_fds(int) {
    return 0;
}

extern "C" int sd_is_socket(int, int, int, int) {
    return -ENOSYS;
}
