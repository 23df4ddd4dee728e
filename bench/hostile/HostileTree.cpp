#include "HostileIo.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <tuple>
#include <utility>

namespace torvane::hostile {

namespace {

using namespace io;

constexpr std::uint64_t GiB = std::uint64_t(1) << 30;

// Makes the tree, keeping the manifest as it goes.
class Builder {
public:
    Builder(Manifest& m, std::uint64_t seed) : m_(m), rng_(seed) {}

    std::uint64_t random(std::uint64_t below) { return std::uniform_int_distribution<std::uint64_t>(0, below - 1)(rng_); }

    // Makes a folder and returns its descriptor.
    Fd folder(int parentFd, const std::string& parentRel, const std::string& name)
    {
        const std::string rel = join(parentRel, name);
        if (::mkdirat(parentFd, name.c_str(), 0755) != 0)
            fail("mkdirat", rel);
        const int fd = ::openat(parentFd, name.c_str(), kDirFlags);
        if (fd < 0)
            fail("openat", rel);
        m_.folders.push_back(rel);
        ++m_.entries;
        return Fd(fd);
    }

    void file(int parentFd, const std::string& parentRel, const std::string& name, std::uint64_t size)
    {
        const std::string rel = join(parentRel, name);
        const Fd fd(::openat(parentFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            fail("openat", rel);
        // Small files get real bytes; large ones are sparse, which is all an apparent size needs.
        if (size <= 65536) {
            const std::string bytes(size, 'x');
            if (::write(fd.get(), bytes.data(), bytes.size()) != ssize_t(bytes.size()))
                fail("write", rel);
        } else if (::ftruncate(fd.get(), off_t(size)) != 0) {
            fail("ftruncate", rel);
        }
        ++m_.entries;
    }

    void randomFile(int parentFd, const std::string& parentRel, const std::string& name)
    {
        file(parentFd, parentRel, name, random(200000));
    }

    void symlink(int parentFd, const std::string& parentRel, const std::string& name, const std::string& target)
    {
        if (::symlinkat(target.c_str(), parentFd, name.c_str()) != 0)
            fail("symlinkat", join(parentRel, name));
        ++m_.entries;
    }

    void hardLink(int fromFd, const std::string& fromName, int toFd, const std::string& toRel, const std::string& toName)
    {
        if (::linkat(fromFd, fromName.c_str(), toFd, toName.c_str(), 0) != 0)
            fail("linkat", join(toRel, toName));
        ++m_.entries;
    }

    void node(int parentFd, const std::string& parentRel, const std::string& name, mode_t type)
    {
        if (::mknodat(parentFd, name.c_str(), type | 0644, 0) != 0)
            fail("mknodat", join(parentRel, name));
        ++m_.entries;
    }

    // Made last, once everything inside is in place.
    void lock(int parentFd, const std::string& parentRel, const std::string& name, unsigned mode)
    {
        if (::fchmodat(parentFd, name.c_str(), mode, 0) != 0)
            fail("fchmodat", join(parentRel, name));
        m_.lockedFolders[join(parentRel, name)] = mode;
    }

    // A name of 1 to 255 arbitrary bytes (never '/', NUL, "." or "..").
    std::string randomName()
    {
        for (;;) {
            const std::size_t length = 1 + random(random(4) == 0 ? 255 : 24);
            std::string name;
            for (std::size_t i = 0; i < length; ++i) {
                char c;
                do
                    c = char(1 + random(255));
                while (c == '/');
                name += c;
            }
            if (name != "." && name != "..")
                return name;
        }
    }

private:
    Manifest& m_;
    std::mt19937_64 rng_;
};

std::vector<std::string> hostileNames()
{
    std::string utf8Long;
    while (utf8Long.size() < 253)
        utf8Long += "\xc3\xa9";   // é, so the 255-byte limit falls between characters' bytes
    utf8Long += "x";
    return {
        "with space",      " leading space",     "trailing space ",   "tab\there",       "new\nline",
        "cr\rname",        "crlf\r\nname",       "amp&ersand",        "apos'trophe",     "quo\"te",
        "<lt",             "gt>",                "back\\slash",       "star*",           "what?",
        "-leading-dash",   "--",                 ".hidden",           "..double-dot",    "\xff\xfe-not-utf8",
        "bad\xc3(seq",     "caf\xc3\xa9",        "\xe2\x80\xae" "rlo", "ctl\x01\x1f\x7f", "<![CDATA[x]]>",
        "&amp;",           "]]>",                "nonchar\xef\xbf\xbe", "surrogate\xed\xa0\x80", "emoji \xf0\x9f\x93\x81",
        std::string(255, 'n'), utf8Long,   "line\xe2\x80\xa8separator", "next\xc2\x85line", "para\xe2\x80\xa9graph",
        "vt\vff\fesc\x1b",
    };
}

} // namespace

std::string printable(const std::string& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        if (c < 0x20 || c >= 0x7f || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

Manifest generate(const std::string& root, std::uint64_t seed, Scale scale)
{
    const bool full = scale == Scale::Full;
    Manifest m;
    Builder b(m, seed);

    if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST)
        fail("mkdir", root);
    Fd top(::open(root.c_str(), kDirFlags));
    if (top.get() < 0)
        fail("open", root);
    // An unprivileged walk must be able to get in.
    if (::fchmod(top.get(), 0755) != 0)
        fail("fchmod", root);
    {
        char resolved[PATH_MAX];
        if (!::realpath(root.c_str(), resolved))
            fail("realpath", root);
        m.root = resolved;
    }
    m.folders.push_back(std::string());
    const int t = top.get();

    // Every hostile name as a top-level folder (the report's attribute), as a folder one level
    // down (the report's element text) and as a file.
    m.names = hostileNames();
    {
        const Fd names = b.folder(t, "", "names");
        const Fd files = b.folder(t, "", "files");
        for (const std::string& name : m.names) {
            {
                const Fd f = b.folder(t, "", name);
                b.randomFile(f.get(), name, "file");
                const Fd sub = b.folder(f.get(), name, "sub");
                b.randomFile(sub.get(), join(name, "sub"), "file");
            }
            const Fd f = b.folder(names.get(), "names", name);
            b.randomFile(f.get(), join("names", name), name);
            b.randomFile(files.get(), "files", name);
        }
        m.nonUtf8Folder = join("names", m.names[19]);
        m.newlineFolder = join("names", m.names[4]);
        m.longNameFolder = join("names", m.names[30]);
    }

    // Names drawn from the seed, nested a little.
    {
        const Fd random = b.folder(t, "", "random");
        std::set<std::string> used;
        const int count = full ? 2000 : 60;
        for (int i = 0; i < count; ++i) {
            const std::string name = b.randomName();
            if (!used.insert(name).second)
                continue;
            if (b.random(3) == 0) {
                const Fd f = b.folder(random.get(), "random", name);
                b.randomFile(f.get(), join("random", name), b.randomName());
            } else {
                b.randomFile(random.get(), "random", name);
            }
        }
    }

    // Hard links within and across folders, and links of every kind.
    {
        const Fd links = b.folder(t, "", "links");
        const Fd a = b.folder(links.get(), "links", "a");
        const Fd bb = b.folder(links.get(), "links", "b");
        b.file(a.get(), "links/a", "orig", 100000 + b.random(100000));
        b.hardLink(a.get(), "orig", a.get(), "links/a", "same");
        b.hardLink(a.get(), "orig", bb.get(), "links/b", "other");
        b.file(bb.get(), "links/b", "second", 300000 + b.random(100000));
        const Fd names(::openat(t, "names", kDirFlags));
        b.hardLink(bb.get(), "second", names.get(), "names", "hard link to links-b-second");
        b.symlink(links.get(), "links", "to-file", "a/orig");
        b.symlink(links.get(), "links", "to-folder", "a");
        b.symlink(links.get(), "links", "to-root", "/");
        b.symlink(links.get(), "links", "to-parent", "..");
        b.symlink(links.get(), "links", "to-self-folder", ".");
        b.symlink(links.get(), "links", "dangling", "nothing/here");
        b.symlink(links.get(), "links", "loop-a", "loop-b");
        b.symlink(links.get(), "links", "loop-b", "loop-a");
        b.symlink(links.get(), "links", "self", "self");
        std::string longTarget;
        while (longTarget.size() < 4000)
            longTarget += "far/";
        b.symlink(links.get(), "links", "long-target", longTarget);
        b.symlink(t, "", "top-level-link-to-root", "/");
    }

    // Entries that are neither files nor folders, and sparse files of huge apparent size.
    {
        const Fd special = b.folder(t, "", "special");
        b.node(special.get(), "special", "fifo", S_IFIFO);
        b.node(special.get(), "special", "socket", S_IFSOCK);
        b.node(special.get(), "special", "fifo\nwith newline", S_IFIFO);
        const Fd sparse = b.folder(t, "", "sparse");
        b.file(sparse.get(), "sparse", "64 GiB", 64 * GiB);
        b.file(sparse.get(), "sparse", "2 TiB", 2048 * GiB);
    }

    // One folder of many entries: mostly empty files, some folders, one more hard link.
    {
        const Fd big = b.folder(t, "", "big");
        m.bigFolder = "big";
        m.bigFolderEntries = full ? 100000 : 2000;
        for (std::uint64_t i = 0; i < m.bigFolderEntries - 1; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "entry %06llu", static_cast<unsigned long long>(i));
            if (i % 500 == 0) {
                const Fd f = b.folder(big.get(), "big", name);
                b.randomFile(f.get(), join("big", name), "inside");
            } else {
                b.file(big.get(), "big", name, i % 10 == 0 ? b.random(8192) : 0);
            }
        }
        const Fd a(::openat(t, "links/a", kDirFlags));
        b.hardLink(a.get(), "orig", big.get(), "big", "zz hard link to links-a-orig");
    }

    // A chain deeper than recursion on the walk's depth survives. One descriptor at a time, so
    // any depth can be made.
    {
        const std::uint64_t levels = full ? 10000 : 300;
        Fd at = b.folder(t, "", "deep");
        std::string rel = "deep";
        for (std::uint64_t i = 0; i < levels; ++i) {
            Fd next = b.folder(at.get(), rel, "d");
            rel += "/d";
            at = std::move(next);
        }
        b.file(at.get(), rel, "bottom", 4242);
        m.deepFolder = rel;
        m.deepLevels = levels;
    }

    // Past PATH_MAX: only ever reached relative to a descriptor.
    {
        Fd at = b.folder(t, "", "long");
        std::string rel = "long";
        for (int i = 0; m.root.size() + rel.size() <= 4096 + 256; ++i) {
            std::string name(200, char('a' + i % 26));
            Fd next = b.folder(at.get(), rel, name);
            rel = join(rel, name);
            at = std::move(next);
        }
        b.randomFile(at.get(), rel, "file");
        const Fd strange = b.folder(at.get(), rel, "strange \xff\n\xc3(");
        b.randomFile(strange.get(), join(rel, "strange \xff\n\xc3("), "file");
        m.longPathFolder = join(rel, "strange \xff\n\xc3(");
    }

    // Folders the unprivileged cannot list (000, 0311) or cannot look into (0644), at the top
    // and one level down. Root reads them all.
    {
        const Fd perm = b.folder(t, "", "perm");
        for (const auto& [name, mode] : {std::pair<const char*, unsigned>{"000", 0000}, {"311", 0311}, {"644", 0644}}) {
            for (const auto& [fd, parent, folderName] :
                 {std::tuple<int, std::string, std::string>{t, "", std::string("locked-") + name},
                  {perm.get(), "perm", name}}) {
                {
                    const Fd f = b.folder(fd, parent, folderName);
                    b.randomFile(f.get(), join(parent, folderName), "inside");
                    const Fd sub = b.folder(f.get(), join(parent, folderName), "sub");
                    b.randomFile(sub.get(), join(join(parent, folderName), "sub"), "inside");
                }
                b.lock(fd, parent, folderName, mode);
            }
        }
        b.randomFile(perm.get(), "perm", "readable file");
    }

    // Hidden entries besides the hidden names.
    {
        const Fd hidden = b.folder(t, "", ".hidden-top");
        b.randomFile(hidden.get(), ".hidden-top", ".hidden-file");
        const Fd inner = b.folder(hidden.get(), ".hidden-top", ".inner");
        b.randomFile(inner.get(), ".hidden-top/.inner", "visible");
    }
    return m;
}

} // namespace torvane::hostile
