// What the walk must never do, whatever happens to the tree while it runs: open a folder through
// a link, leave the volume, or run out of descriptors. Where a race matters, the test holds the
// walk at a point of its choosing (a fanotify permission event on a folder's open) and changes
// the tree there, so the outcome does not depend on the scheduler.

#include "WalkFixture.h"

#include "fs/WalkIo.h"

#include <QScopeGuard>
#include <QtTest>

#include <poll.h>
#include <sys/fanotify.h>
#include <sys/resource.h>

#include <filesystem>
#include <iterator>
#include <map>

using torvane::Walk;
using namespace torvane::test;
namespace walkio = torvane::walkio;

namespace {

// Holds the first open of a folder, by anyone, until released: a point of the walk the test
// chooses. Needs CAP_SYS_ADMIN; armed() says whether it could be set.
class OpenGate {
public:
    explicit OpenGate(const std::string& folder)
        : fan_(::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC))
    {
        if (fan_ >= 0 && ::fanotify_mark(fan_, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_ONDIR, AT_FDCWD, folder.c_str()) != 0) {
            ::close(fan_);
            fan_ = -1;
        }
    }
    ~OpenGate() { release(); }
    OpenGate(const OpenGate&) = delete;
    OpenGate& operator=(const OpenGate&) = delete;

    bool armed() const { return fan_ >= 0; }
    // True once somebody is opening the folder; that open waits until release().
    bool waitForOpen(int milliseconds)
    {
        pollfd p{fan_, POLLIN, 0};
        fanotify_event_metadata event{};
        if (::poll(&p, 1, milliseconds) != 1 || ::read(fan_, &event, sizeof event) < ssize_t(sizeof event) || event.fd < 0)
            return false;
        held_ = event.fd;
        return true;
    }
    // Lets the held open through, and every later one: closing the group allows what it holds.
    void release()
    {
        if (held_ >= 0) {
            const fanotify_response allow{held_, FAN_ALLOW};
            if (::write(fan_, &allow, sizeof allow) != ssize_t(sizeof allow))
                qWarning("fanotify response: %s", std::strerror(errno));
            ::close(held_);
            held_ = -1;
        }
        if (fan_ >= 0)
            ::close(fan_);
        fan_ = -1;
    }

private:
    int fan_ = -1;
    int held_ = -1;
};

int openDescriptors()
{
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) - 1;   // less the listing's own
}

// How an open refuses a link: O_NOFOLLOW with O_DIRECTORY says ENOTDIR, openat2's
// RESOLVE_NO_SYMLINKS says ELOOP.
bool refusedAsLink(int err)
{
    return err == ELOOP || err == ENOTDIR;
}

constexpr int kChain = 400;

// A chain of folders kChain deep ("d/d/..."), with a sibling "s" beside every one that holds a
// file of its level's size: a walk that goes down the chain first keeps every level open for the
// sibling still to come, unless its descriptor budget stops it.
std::map<std::string, std::uint64_t> makeChain(const Tree& t)
{
    std::map<std::string, std::uint64_t> sizes;
    std::string rel;
    for (int depth = 0; depth <= kChain; ++depth) {
        // The siblings from this level down: depth + 1 to kChain.
        sizes[rel] = std::uint64_t(kChain * (kChain + 1) - depth * (depth + 1)) / 2;
        if (depth == kChain)
            break;
        const std::string in = rel.empty() ? rel : rel + "/";
        t.dir(in + "s");
        t.file(in + "s/f", std::uint64_t(depth + 1));
        sizes[in + "s"] = std::uint64_t(depth + 1);
        rel = in + "d";
        t.dir(rel);
    }
    return sizes;
}

// Every folder of a walk with its size, or ~0 where it failed.
std::map<std::string, std::uint64_t> walked(const Walk& walk)
{
    std::map<std::string, std::uint64_t> sizes;
    for (const Walk::FolderRecord& r : walk.folders())
        sizes[r.path] = r.error ? ~std::uint64_t(0) : r.size;
    return sizes;
}

} // namespace

class WalkSafetyTest : public QObject {
    Q_OBJECT

private slots:
    void linksAreNeverOpened_data()
    {
        QTest::addColumn<bool>("openat2");
        QTest::newRow("openat2") << true;
        QTest::newRow("openat, as without openat2") << false;
    }

    // A link where a folder was: every way the walk opens a folder refuses it, and a folder swapped
    // for a link between its parent's read and its own open is not entered.
    void linksAreNeverOpened()
    {
        QFETCH(bool, openat2);
        walkio::allowOpenat2(openat2);   // the walk's opens as on a kernel with or without openat2
        const auto restoreOpens = qScopeGuard([] { walkio::allowOpenat2(true); });
        Tree t;
        Tree outside;
        outside.file("big", 1 << 20);
        for (const char* folder : {"a-gate", "real", "real/inner", "victim"})
            t.dir(folder);
        t.file("real/inner/f", 100);
        t.file("victim/own", 10);
        t.symlink("real", "link");
        t.symlink(outside.root(), "absolute");

        const walkio::Fd root(::open(t.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        QVERIFY(root.valid() && ::fstat(root.get(), &st) == 0);
        for (const std::string name : {"link", "absolute"}) {
            for (const bool keepAtime : {false, true}) {
                bool otherDevice = false;
                errno = 0;
                QCOMPARE(walkio::openSubfolder(root.get(), name.c_str(), st.st_dev, otherDevice, keepAtime), -1);
                QVERIFY2(refusedAsLink(errno), std::strerror(errno));
                QCOMPARE(walkio::openBeneath(root.get(), name, keepAtime), -1);
                QVERIFY2(refusedAsLink(errno), std::strerror(errno));
            }
            // A link on the way down counts as much as one at the end.
            QCOMPARE(walkio::openBeneath(root.get(), name + "/inner", false), -1);
        }
        // That it opens real folders: the budget test, whose walk without a budget opens by path.

        // The walk reads the root (listing the victim as a folder), then is held at the open of
        // "a-gate", the first folder it opens after the root with one thread; the victim becomes a
        // link meanwhile.
        OpenGate gate(t.at("a-gate"));
        if (!gate.armed())
            QSKIP("fanotify permission events need CAP_SYS_ADMIN");
        Walk walk(t.root(), 1);
        const auto letGo = qScopeGuard([&] { gate.release(); });   // before the walk joins its worker
        QVERIFY(gate.waitForOpen(20000));
        QVERIFY(::rename(t.at("victim").c_str(), outside.at("victim").c_str()) == 0);
        t.symlink(outside.root(), "victim");
        gate.release();
        walk.wait();
        const Walk::Answer victim = walk.sizeOf("victim");
        QCOMPARE(int(victim.state), int(Walk::State::Failed));
        QVERIFY2(refusedAsLink(victim.error), std::strerror(victim.error));
        QCOMPARE(found(walk, "real"), 100u);
        // The links of the root count as themselves; the victim's came after the root's read.
        QCOMPARE(found(walk, ""), 100u + 4u + outside.root().size());
        QCOMPARE(walk.totals().folders, std::uint64_t(4));
    }

    // One budget of kept descriptors for every walk of the process, under a low limit: a walk down a
    // chain deeper than the budget finds every folder, also while another walk holds the budget.
    void descriptorBudget()
    {
        Tree first;
        Tree second;
        const std::map<std::string, std::uint64_t> sizes = makeChain(first);
        QVERIFY(makeChain(second) == sizes);
        std::string deepest = second.root();
        for (int level = 0; level < kChain; ++level)
            deepest += "/d";

        OpenGate gate(deepest);
        if (!gate.armed())
            QSKIP("holding a walk at the bottom of its chain needs fanotify (CAP_SYS_ADMIN)");
        // Room for the test itself, each walk's root and open folder, and the one budget of 16 (the
        // least there is), and not for a second budget.
        const int base = openDescriptors();
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        const auto restoreLimit = qScopeGuard([&] { ::setrlimit(RLIMIT_NOFILE, &saved); });
        const rlimit low{rlim_t(base + 32), saved.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
        Walk held(second.root(), 1);
        const auto letGo = qScopeGuard([&] { gate.release(); });   // before the walk joins its worker
        QVERIFY(gate.waitForOpen(20000));   // at the bottom: its budget is all in use
        Walk meanwhile(first.root(), 1);
        meanwhile.wait();
        gate.release();
        held.wait();
        QVERIFY(walked(meanwhile) == sizes);
        QVERIFY(walked(held) == sizes);
    }
};

QTEST_GUILESS_MAIN(WalkSafetyTest)
#include "tst_walksafety.moc"
