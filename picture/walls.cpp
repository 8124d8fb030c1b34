#include "walls.h"

#include "loading/sanitized.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <linux/capability.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace picture::walls {

namespace {

QString systemWords(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// ---- An empty network namespace

State networkNamespace()
{
    // Root, or a process allowed to, makes one at once; anyone else through a user namespace
    // of its own, where the system allows those.
    if (::unshare(CLONE_NEWNET) == 0)
        return {Wall::NetworkNamespace, true, QStringLiteral("no network")};
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0)
        return {Wall::NetworkNamespace, true, QStringLiteral("no network, in a user namespace")};
    return {Wall::NetworkNamespace, false, systemWords(errno)};
}

// ---- Capabilities

State capabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct held[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, held) != 0)
        return {Wall::Capabilities, false, systemWords(errno)};
    bool any = false;
    for (const auto &part : held)
        any = any || part.effective || part.permitted || part.inheritable;
    if (!any)
        return {Wall::Capabilities, true, QStringLiteral("none held")};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, none) != 0)
        return {Wall::Capabilities, false, systemWords(errno)};
    return {Wall::Capabilities, true, QStringLiteral("all dropped")};
}

// ---- No new privileges

State noNewPrivileges()
{
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return {Wall::NoNewPrivileges, false, systemWords(errno)};
    return {Wall::NoNewPrivileges, true, {}};
}

// ---- Landlock
//
// Defined here rather than taken from <linux/landlock.h>: the system's headers may be older
// than its kernel, and the rights a ruleset handles follow what the kernel says it knows.

struct RulesetAttr
{
    quint64 handledAccessFs;
    quint64 handledAccessNet; // ABI 4
    quint64 scoped;           // ABI 6
};

struct __attribute__((packed)) PathBeneathAttr
{
    quint64 allowedAccess;
    qint32 parentFd;
};

constexpr quint32 CreateRulesetVersion = 1U << 0;
constexpr int RulePathBeneath = 1;

constexpr quint64 FsReadFile = 1ULL << 2, FsReadDir = 1ULL << 3;
// ABI 1: executing, writing, reading, listing, removing and making every kind of file.
constexpr quint64 FsAbi1 = (1ULL << 13) - 1;
constexpr quint64 FsRefer = 1ULL << 13;    // ABI 2: moving files between folders
constexpr quint64 FsTruncate = 1ULL << 14; // ABI 3
constexpr quint64 FsIoctlDev = 1ULL << 15; // ABI 5
constexpr quint64 NetBindTcp = 1ULL << 0, NetConnectTcp = 1ULL << 1;            // ABI 4
constexpr quint64 ScopeAbstractUnixSocket = 1ULL << 0, ScopeSignal = 1ULL << 1; // ABI 6

quint64 handledFs(int abi)
{
    return FsAbi1 | (abi >= 2 ? FsRefer : 0) | (abi >= 3 ? FsTruncate : 0) |
           (abi >= 5 ? FsIoctlDev : 0);
}

// Every folder a loaded library came from.
int addLibraryFolder(dl_phdr_info *info, size_t, void *data)
{
    const char *name = info->dlpi_name;
    if (name && std::strchr(name, '/')) {
        const QString path = QString::fromLocal8Bit(name);
        static_cast<QStringList *>(data)->append(path.left(path.lastIndexOf(u'/')));
    }
    return 0;
}

// Allows reading beneath path, or the file path itself; false when it cannot be opened (a
// folder this system does not have).
bool allowReading(int ruleset, const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    PathBeneathAttr rule{FsReadFile, fd};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        rule.allowedAccess |= FsReadDir;
    const bool added = ::syscall(SYS_landlock_add_rule, ruleset, RulePathBeneath, &rule, 0) == 0;
    ::close(fd);
    return added;
}

State landlock()
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, CreateRulesetVersion);
    if (abi < 1) {
        return {Wall::Landlock, false,
                errno == EOPNOTSUPP ? QStringLiteral("turned off in this system")
                                    : QStringLiteral("not in this kernel")};
    }
    RulesetAttr attr{handledFs(int(abi)), 0, 0};
    if (abi >= 4)
        attr.handledAccessNet = NetBindTcp | NetConnectTcp;
    if (abi >= 6)
        attr.scoped = ScopeAbstractUnixSocket | ScopeSignal;
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0)
        return {Wall::Landlock, false, systemWords(errno)};
    int folders = 0;
    for (const QString &path : readable())
        folders += allowReading(ruleset, path);
    const bool up = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int error = errno;
    ::close(ruleset);
    if (!up)
        return {Wall::Landlock, false, systemWords(error)};
    QString detail =
        QStringLiteral("ABI %1: reading beneath %2 places, writing nowhere").arg(abi).arg(folders);
    if (abi >= 4)
        detail += QStringLiteral("; no TCP");
    if (abi >= 6)
        detail += QStringLiteral("; no signal or abstract socket outside");
    return {Wall::Landlock, true, detail};
}

// ---- seccomp
//
// A list of what is forbidden, not of what is allowed. Lists of allowed system calls break
// when a library or the C library starts to use another call (clone3, rseq, statx came that
// way) or on another architecture, and then every picture fails to load; the image loaders of
// the desktops that tried them moved to lists like this one. What an allowed call can reach is
// bounded by the other walls (Landlock for files, the empty network, no privileges); this list
// takes away what would reach past them: other processes, programs, the network, and the
// kernel's larger interfaces. Calls of another architecture (32-bit calls on a 64-bit system)
// end the process.

// Refused with EPERM whatever their arguments.
constexpr const char *Forbidden[] = {
    // the network, of any kind
    "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4",
    // programs and processes
    "execve", "execveat", "fork", "vfork", "setsid", "setpgid",
    // other processes' memory, files and signals
    "ptrace", "process_vm_readv", "process_vm_writev", "process_madvise", "kcmp", "pidfd_open",
    "pidfd_getfd", "pidfd_send_signal", "tkill",
    // mounts, namespaces and the file system's handles
    "mount", "umount2", "pivot_root", "chroot", "unshare", "setns", "mount_setattr", "open_tree",
    "move_mount", "fsopen", "fsconfig", "fsmount", "fspick", "name_to_handle_at",
    "open_by_handle_at",
    // key rings
    "keyctl", "add_key", "request_key",
    // the kernel's larger interfaces
    "perf_event_open", "bpf", "userfaultfd", "io_uring_setup", "io_uring_enter",
    "io_uring_register",
    // the system itself
    "kexec_load", "kexec_file_load", "init_module", "finit_module", "delete_module", "reboot",
    "swapon", "swapoff", "acct", "syslog", "quotactl", "settimeofday", "clock_settime",
    "clock_adjtime", "adjtimex", "vhangup", "uselib", "personality"};

struct Rule
{
    const char *name;
    quint32 action;
    std::vector<scmp_arg_cmp> when;
};

// The first argument compared (libseccomp's SCMP_A0 and SCMP_A1 are C compound literals).
scmp_arg_cmp first(scmp_compare op, scmp_datum_t a, scmp_datum_t b = 0) { return {0, op, a, b}; }
scmp_arg_cmp second(scmp_compare op, scmp_datum_t a, scmp_datum_t b = 0) { return {1, op, a, b}; }

// Refused only with the arguments shown.
std::vector<Rule> conditionalRules()
{
    const auto self = scmp_datum_t(::getpid());
    const quint32 denied = SCMP_ACT_ERRNO(EPERM);
    // An ioctl's request is 32 bits: the upper half of the register does not count.
    const auto request = [](unsigned long code) {
        return second(SCMP_CMP_MASKED_EQ, 0xFFFFFFFFU, code);
    };
    return {
        // a new process, but not a thread (libde265 decodes HEVC on a thread it starts)
        {"clone", denied, {first(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)}},
        // its flags are in memory no filter sees: the C library then falls back to clone
        {"clone3", SCMP_ACT_ERRNO(ENOSYS), {}},
        // typing into the terminal, or into the console
        {"ioctl", denied, {request(TIOCSTI)}},
        {"ioctl", denied, {request(TIOCLINUX)}},
        // signals to anyone but this process
        {"kill", denied, {first(SCMP_CMP_NE, self)}},
        {"tgkill", denied, {first(SCMP_CMP_NE, self)}},
        {"rt_sigqueueinfo", denied, {first(SCMP_CMP_NE, self)}},
        {"rt_tgsigqueueinfo", denied, {first(SCMP_CMP_NE, self)}},
    };
}

State seccomp()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return {Wall::Seccomp, false, QStringLiteral("cannot make a filter")};
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1); // threads already running too
    int rules = 0, failed = 0;
    const auto add = [&](const char *name, quint32 action, const std::vector<scmp_arg_cmp> &when) {
        const int call = seccomp_syscall_resolve_name(name);
        if (call == __NR_SCMP_ERROR)
            return; // a call libseccomp does not know of
        const int result = seccomp_rule_add_array(filter, action, call, unsigned(when.size()),
                                                  when.empty() ? nullptr : when.data());
        result == 0 ? ++rules : ++failed;
    };
    for (const char *name : Forbidden)
        add(name, SCMP_ACT_ERRNO(EPERM), {});
    for (const Rule &rule : conditionalRules())
        add(rule.name, rule.action, rule.when);
    const int loaded = failed == 0 ? seccomp_load(filter) : -EINVAL;
    seccomp_release(filter);
    if (loaded != 0)
        return {Wall::Seccomp, false, systemWords(-loaded)};
    return {Wall::Seccomp, true, QStringLiteral("%1 rules").arg(rules)};
}

QString nameOf(Wall wall)
{
    switch (wall) {
    case Wall::NetworkNamespace:
        return QStringLiteral("network namespace");
    case Wall::Capabilities:
        return QStringLiteral("capabilities");
    case Wall::NoNewPrivileges:
        return QStringLiteral("no-new-privileges");
    case Wall::Landlock:
        return QStringLiteral("Landlock");
    case Wall::Seccomp:
        return QStringLiteral("seccomp");
    }
    return {};
}

} // namespace

QStringList readable()
{
    QStringList paths;
    ::dl_iterate_phdr(addLibraryFolder, &paths);
    paths << QStringLiteral(PINTU_QT_PLUGINS) << QStringLiteral("/etc/ld.so.cache")
          << QStringLiteral("/usr/share/fonts") << QStringLiteral("/usr/local/share/fonts")
          << QStringLiteral("/usr/share/fontconfig") << QStringLiteral("/etc/fonts")
          << QStringLiteral("/var/cache/fontconfig");
    // AddressSanitizer reads the process's own map of its memory when it reports.
    if (Sanitized)
        paths << QStringLiteral("/proc/self");
    paths.removeDuplicates();
    return paths;
}

QList<State> raise(const Choice &choice)
{
    const std::pair<bool, State (*)()> walls[] = {{choice.networkNamespace, networkNamespace},
                                                  {choice.capabilities, capabilities},
                                                  {choice.noNewPrivileges, noNewPrivileges},
                                                  {choice.landlock, landlock},
                                                  {choice.seccomp, seccomp}};
    QList<State> states;
    for (int i = 0; i < int(std::size(walls)); ++i) {
        if (!walls[i].first) {
            states.append({Wall(i), false, QStringLiteral("left down")});
            continue;
        }
        QElapsedTimer clock;
        clock.start();
        State state = walls[i].second();
        state.nanoseconds = clock.nsecsElapsed();
        states.append(state);
    }
    return states;
}

QString describe(const QList<State> &states)
{
    QString text;
    for (const State &state : states) {
        text += nameOf(state.wall) + (state.up ? QStringLiteral(": up") : QStringLiteral(": down"));
        if (!state.detail.isEmpty())
            text += QStringLiteral(" (") + state.detail + u')';
        if (state.nanoseconds > 0)
            text += QStringLiteral(", %1 ms").arg(state.nanoseconds / 1e6, 0, 'f', 3);
        text += u'\n';
    }
    return text;
}

} // namespace picture::walls
