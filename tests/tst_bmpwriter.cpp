#include "BmpDecoder.h"
#include "BmpWriter.h"
#include "ProcessRun.h"
#include "SafeFileWriter.h"
#include "TestFiles.h"
#include "TestRows.h"

#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

char *toString(TBmpResult r)
{
    return qstrdup(BmpResultName(r));
}

using testsupport::AddUnsupportedSizeRows;
using testsupport::ReadAll;
using testsupport::ReadRawName;
using testsupport::WriteAll;
using testsupport::WriteRawName;

namespace {

// A W x H picture in the frame buffer layout (R, G, B; rows packed; bottom row first).
QByteArray RandomPicture(int W, int H, quint32 seed)
{
    QByteArray pic(3 * W * H, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char &c : pic)
        c = static_cast<char>(rng.bounded(256));
    return pic;
}

TBmpResult Save(const QByteArray &path, const QByteArray &pic, int W, int H)
{
    return WriteBmpFile(path, reinterpret_cast<const unsigned char *>(pic.constData()), W, H);
}
TBmpResult Save(const QString &path, const QByteArray &pic, int W, int H)
{
    return Save(QFile::encodeName(path), pic, W, H);
}

// Runs body in a forked child and returns its exit code (-1 if it died by a signal), so that
// resource limits and a dropped identity stay out of the test process.
int RunInChild(const std::function<int()> &body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

mode_t FileType(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}
mode_t FileType(const QString &path)
{
    return FileType(QFile::encodeName(path));
}

} // namespace

class TestBmpWriter : public QObject
{
    Q_OBJECT

private:
    // A fresh folder for every test function and data row.
    std::unique_ptr<QTemporaryDir> Dir;
    QString Path(const QString &name) const { return Dir->filePath(name); }
    // A name as bytes, which need not be valid UTF-8; QTemporaryDir cannot remove such files, so
    // the tests that make them remove them.
    QByteArray RawPath(const QByteArray &name) const
    {
        return QFile::encodeName(Dir->path()) + '/' + name;
    }
    // Every name in the folder, sorted, including those that are not valid UTF-8 (which QDir
    // leaves out).
    QStringList Entries(const QString &folder) const
    {
        QStringList names;
        if (DIR *d = ::opendir(QFile::encodeName(folder).constData())) {
            while (const dirent *e = ::readdir(d)) {
                if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                    names << QFile::decodeName(e->d_name);
            }
            ::closedir(d);
        }
        names.sort();
        return names;
    }

private slots:
    void init()
    {
        Dir = std::make_unique<QTemporaryDir>();
        QVERIFY(Dir->isValid());
    }

    // Every header field, fill and trailer byte and pixel checked by the test decoder, for odd
    // widths (row fill) and the smallest and largest pictures.
    void headerFields_data()
    {
        QTest::addColumn<int>("W");
        QTest::addColumn<int>("H");
        QTest::addColumn<int>("fileSize");
        QTest::newRow("cif-352x288") << 352 << 288 << 304184;
        QTest::newRow("width-353") << 353 << 2 << 2176;
        QTest::newRow("width-1") << 1 << 3 << 68;
        QTest::newRow("width-2") << 2 << 3 << 80;
        QTest::newRow("width-3") << 3 << 1 << 68;
        QTest::newRow("smallest-1x1") << 1 << 1 << 60;
        QTest::newRow("2x7") << 2 << 7 << 112;
        QTest::newRow("3x5") << 3 << 5 << 116;
        QTest::newRow("17x9") << 17 << 9 << 524;
        QTest::newRow("176x144") << 176 << 144 << 76088;
        QTest::newRow("353x289") << 353 << 289 << 306396;
        QTest::newRow("1919x3") << 1919 << 3 << 17336;
        QTest::newRow("largest-1920x1080") << 1920 << 1080 << 6220856;
    }
    void headerFields()
    {
        QFETCH(int, W);
        QFETCH(int, H);
        QFETCH(int, fileSize);
        const QString path = Path("header.bmp");
        const QByteArray pic = RandomPicture(W, H, quint32(W * 7919 + H));
        QCOMPARE(Save(path, pic, W, H), TBmpResult::Ok);
        const QByteArray b = ReadAll(path);
        QCOMPARE(b.size(), fileSize);
        auto bytes
            = [](const QByteArray &a) { return reinterpret_cast<const uint8_t *>(a.data()); };
        QCOMPARE(
            testsupport::CheckSnapshotBmp(bytes(b), b.size(), bytes(pic), W, H), std::string());
    }

    // The 54 header bytes of a CIF frame spelled out, independent of any field reader.
    void headerBytesCif()
    {
        const QString path = Path("cif.bmp");
        QCOMPARE(Save(path, RandomPicture(352, 288, 1), 352, 288), TBmpResult::Ok);
        const QByteArray expected = QByteArray::fromHex("424d 38a40400 0000 0000 36000000"
                                                        "28000000 60010000 20010000 0100 1800"
                                                        "00000000 02a40400 120b0000 120b0000"
                                                        "00000000 00000000");
        QCOMPARE(expected.size(), 54);
        QCOMPARE(ReadAll(path).left(54), expected);
    }

    // Pure red is stored as 0x00 0x00 0xFF, and the buffer's first row (the bottom picture row)
    // is the file's first row.
    void pixelByteOrderAndRowOrder()
    {
        const QByteArray pic = QByteArray::fromHex("ff0000 ff0000 ff0000 0000ff 0000ff 0000ff");
        const QString path = Path("rows.bmp");
        QCOMPARE(Save(path, pic, 3, 2), TBmpResult::Ok);
        const QByteArray b = ReadAll(path);
        QCOMPARE(b.mid(54, 12), QByteArray::fromHex("0000ff 0000ff 0000ff 000000"));
        QCOMPARE(b.mid(66, 12), QByteArray::fromHex("ff0000 ff0000 ff0000 000000"));
        const QImage img(path);
        QCOMPARE(img.pixel(2, 1), qRgb(255, 0, 0));
        QCOMPARE(img.pixel(0, 0), qRgb(0, 0, 255));
    }

    void refusesUnsupportedSize_data() { AddUnsupportedSizeRows(); }
    void refusesUnsupportedSize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const QString path = Path("bad.bmp");
        QCOMPARE(Save(path, QByteArray(16, 'x'), width, height), TBmpResult::BadSize);
        QCOMPARE(WriteBmpFile(QFile::encodeName(path), nullptr, 4, 4), TBmpResult::BadSize);
        QVERIFY(!QFile::exists(path));
    }

    void messages()
    {
        const QString name = QStringLiteral("/x/snap.bmp");
        QCOMPARE(BmpResultMessage(TBmpResult::OpenFailed, name),
            QStringLiteral("Unable to open file for saving: /x/snap.bmp"));
        QCOMPARE(BmpResultMessage(TBmpResult::NoMemory, name),
            QStringLiteral("Insufficient memory for this operation."));
        QVERIFY(BmpResultMessage(TBmpResult::WriteFailed, name).endsWith(name));
        QVERIFY(!BmpResultMessage(TBmpResult::BadSize, name).isEmpty());
        QVERIFY(BmpResultMessage(TBmpResult::Ok, name).isEmpty());
    }

    void cannotCreate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing-folder") << "no-such-folder/snap.bmp";
        QTest::newRow("folder-is-a-file") << "plain.txt/snap.bmp";
        QTest::newRow("name-is-a-folder") << "folder";
    }
    void cannotCreate()
    {
        QFETCH(QString, name);
        QVERIFY(WriteAll(Path("plain.txt"), "keep me"));
        QVERIFY(QDir(Dir->path()).mkpath("folder"));
        const QStringList before = Entries(Dir->path());
        QCOMPARE(Save(Path(name), RandomPicture(4, 4, 2), 4, 4), TBmpResult::OpenFailed);
        QCOMPARE(Entries(Dir->path()), before);
        QCOMPARE(ReadAll(Path("plain.txt")), QByteArray("keep me"));
        QVERIFY(Entries(Path("folder")).isEmpty());
    }

    // A write that fails half-way (the file size limit stands in for a full disk) must be
    // reported and must leave the old file exactly as it was, with no temporary file behind;
    // so must a program stopped by a signal during the write, whose handler removes the
    // temporary (the limit's own signal stands in for SIGTERM, arriving mid-write for sure).
    void fullDiskKeepsOldFile_data()
    {
        QTest::addColumn<bool>("stoppedBySignal");
        QTest::addColumn<int>("expectedCode");
        QTest::newRow("write-fails") << false << static_cast<int>(TBmpResult::WriteFailed);
        QTest::newRow("stopped-by-signal") << true << 42;
    }
    void fullDiskKeepsOldFile()
    {
        QFETCH(bool, stoppedBySignal);
        QFETCH(int, expectedCode);
        const QString path = Path("old.bmp");
        const QByteArray old = RandomPicture(10, 10, 3);
        QVERIFY(WriteAll(path, old));
        const QByteArray pic = RandomPicture(352, 288, 4);
        const int code = RunInChild([&] {
            std::signal(SIGXFSZ, stoppedBySignal ? [](int) {
                RemovePendingTemporaryFile();
                _exit(42);
            } : SIG_IGN);
            const rlimit limit {64 * 1024, 64 * 1024};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 100;
            return static_cast<int>(Save(path, pic, 352, 288));
        });
        QCOMPARE(code, expectedCode);
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(Entries(Dir->path()), QStringList {"old.bmp"});
    }

    // The working memory is taken before the file is created: running short leaves no file.
    // The child caps its address space just above what it maps, then takes every free block
    // the size of the working buffer (the heap may keep some from earlier tests), so the
    // writer's own request cannot be met.
    void noMemoryLeavesNothing()
    {
        const QString path = Path("nomem.bmp");
        const QByteArray pic = RandomPicture(1920, 1080, 5);
        const int code = RunInChild([&] {
            long pages = 0;
            FILE *statm = std::fopen("/proc/self/statm", "r");
            if (!statm || std::fscanf(statm, "%ld", &pages) != 1)
                return 100;
            std::fclose(statm);
            const rlim_t bytes = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (1 << 20);
            const rlimit limit {bytes, bytes};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                return 100;
            const size_t fileSize = 6220856;
            for (int i = 0; std::malloc(fileSize); ++i) {
                if (i == 64)
                    return 101; // the cap does not hold
            }
            return static_cast<int>(Save(path, pic, 1920, 1080));
        });
        if (code == 100)
            QSKIP("cannot limit the address space here");
        QCOMPARE(code, static_cast<int>(TBmpResult::NoMemory));
        QVERIFY(Entries(Dir->path()).isEmpty());
    }

    // The replacement keeps the old file's owner and permission bits, but never set-user-ID,
    // set-group-ID or sticky; names of any bytes and of the longest length are replaced too.
    void keepsPermissionsAndOwner_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("mode-0640") << QByteArray("perm.bmp") << 0640 << 0640;
        QTest::newRow("setuid-dropped-name-not-utf8") << QByteArray("p\xff.bmp") << 04750 << 0750;
        QTest::newRow("name-255-bytes") << QByteArray(251, 'n') + ".bmp" << 0640 << 0640;
    }
    void keepsPermissionsAndOwner()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, mode);
        QFETCH(int, expectedMode);
        const QByteArray path = RawPath(name);
        const auto removeRawName = qScopeGuard([&] { ::unlink(path.constData()); });
        QVERIFY(WriteRawName(path, "old"));
        QVERIFY(::chmod(path.constData(), mode_t(mode)) == 0);
        const bool root = geteuid() == 0;
        if (root)
            QVERIFY(::chown(path.constData(), 1234, 5678) == 0);
        QVERIFY(::chmod(path.constData(), mode_t(mode)) == 0); // chown cleared set-user-ID
        QCOMPARE(Save(path, RandomPicture(3, 3, 6), 3, 3), TBmpResult::Ok);
        struct stat st;
        QVERIFY(::stat(path.constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(expectedMode));
        if (root) {
            QCOMPARE(st.st_uid, uid_t(1234));
            QCOMPARE(st.st_gid, gid_t(5678));
        }
        QCOMPARE(ReadRawName(path).size(), 54 + 12 * 3 + 2);
        QCOMPARE(Entries(Dir->path()).size(), 1);
    }

    // A link is written through to its target, and a dangling one creates it; link and target
    // are found by their bytes, never decoded.
    void writesThroughSymlink_data()
    {
        QTest::addColumn<QByteArray>("link");
        QTest::addColumn<QByteArray>("target"); // relative to the link's folder
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("existing-target")
            << QByteArray("link.bmp") << QByteArray("real/t.bmp") << true;
        QTest::newRow("dangling-link")
            << QByteArray("link.bmp") << QByteArray("real/t.bmp") << false;
        QTest::newRow("target-name-not-utf8")
            << QByteArray("link.bmp") << QByteArray("real/t\xff.bmp") << true;
        QTest::newRow("dangling-link-name-not-utf8")
            << QByteArray("l\xff.bmp") << QByteArray("real/t.bmp") << false;
    }
    void writesThroughSymlink()
    {
        QFETCH(QByteArray, link);
        QFETCH(QByteArray, target);
        QFETCH(bool, targetExists);
        QVERIFY(QDir(Dir->path()).mkpath("real"));
        const auto removeRawNames = qScopeGuard([&] {
            ::unlink(RawPath(link).constData());
            ::unlink(RawPath(target).constData());
        });
        if (targetExists)
            QVERIFY(WriteRawName(RawPath(target), "old"));
        QVERIFY(::symlink(target.constData(), RawPath(link).constData()) == 0);
        QCOMPARE(Save(RawPath(link), RandomPicture(2, 2, 7), 2, 2), TBmpResult::Ok);
        QCOMPARE(FileType(RawPath(link)), mode_t(S_IFLNK));
        QCOMPARE(FileType(RawPath(target)), mode_t(S_IFREG));
        QCOMPARE(ReadRawName(RawPath(target)).size(), 54 + 8 * 2 + 2);
        QCOMPARE(Entries(Path("real")).size(), 1);
    }

    void nonAsciiName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("cyrillic") << QStringLiteral("Кадр №7.bmp");
        QTest::newRow("cjk") << QStringLiteral("画像_スナップ.bmp");
        QTest::newRow("mixed-folder") << QStringLiteral("папка_フォルダ/снимок_画.bmp");
    }
    void nonAsciiName()
    {
        QFETCH(QString, name);
        QVERIFY(QDir(Dir->path()).mkpath(QStringLiteral("папка_フォルダ")));
        const QByteArray pic = RandomPicture(7, 3, 8);
        QCOMPARE(Save(Path(name), pic, 7, 3), TBmpResult::Ok);
        const QFileInfo info(Path(name));
        QVERIFY(info.dir().entryList(QDir::Files).contains(info.fileName()));
        QImage img(Path(name));
        QCOMPARE(img.size(), QSize(7, 3));
        QCOMPARE(img.pixel(0, 2), qRgb(uchar(pic[0]), uchar(pic[1]), uchar(pic[2])));
    }

    // Device nodes made in the temporary folder, so nothing under /dev is ever touched: a
    // character device is written in place and stays a device; the full one reports failure.
    void characterDevices_data()
    {
        QTest::addColumn<int>("minorNumber");
        QTest::addColumn<TBmpResult>("expected");
        QTest::newRow("null") << 3 << TBmpResult::Ok;
        QTest::newRow("full") << 7 << TBmpResult::WriteFailed;
    }
    void characterDevices()
    {
        QFETCH(int, minorNumber);
        QFETCH(TBmpResult, expected);
        const QString node = Path(QStringLiteral("dev%1").arg(minorNumber));
        if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, minorNumber))
            != 0)
            QSKIP("cannot make device nodes here");
        const int fd = ::open(QFile::encodeName(node).constData(), O_WRONLY);
        if (fd < 0)
            QSKIP("device nodes cannot be opened here");
        ::close(fd);
        QCOMPARE(Save(node, RandomPicture(64, 64, 9), 64, 64), expected);
        QCOMPARE(FileType(node), mode_t(S_IFCHR));
        QCOMPARE(Entries(Dir->path()).size(), 1);
    }

    // A FIFO is refused rather than replaced, and is not written to.
    void fifoIsRefused()
    {
        const QString fifo = Path("pipe");
        const QByteArray encoded = QFile::encodeName(fifo);
        QVERIFY(::mkfifo(encoded.constData(), 0644) == 0);
        // A reader is waiting, so a writer that wrongly opens the FIFO does not hang the test.
        const int reader = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QCOMPARE(Save(fifo, RandomPicture(1, 1, 10), 1, 1), TBmpResult::OpenFailed);
        char c;
        QCOMPARE(::read(reader, &c, 1), ssize_t(0));
        ::close(reader);
        QCOMPARE(FileType(fifo), mode_t(S_IFIFO));
    }

    // In a folder that forbids new files a writable file is overwritten in place, but only
    // once its new size is reserved: a file-size limit leaves the old bytes. A read-only file
    // is refused. Run without root's rights, which would ignore both.
    void readOnlyFolder_data()
    {
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<qint64>("sizeLimit"); // negative: none
        QTest::addColumn<TBmpResult>("expected");
        QTest::newRow("writable-rewritten") << 0666 << qint64(-1) << TBmpResult::Ok;
        QTest::newRow("read-only-refused") << 0444 << qint64(-1) << TBmpResult::OpenFailed;
        QTest::newRow("size-limit-keeps-old") << 0666 << qint64(0) << TBmpResult::WriteFailed;
    }
    void readOnlyFolder()
    {
        QFETCH(int, fileMode);
        QFETCH(qint64, sizeLimit);
        QFETCH(TBmpResult, expected);
        QVERIFY(QDir(Dir->path()).mkpath("locked"));
        const QString path = Path("locked/old.bmp");
        const QByteArray old = RandomPicture(100, 66, 12) + "..";
        QVERIFY(WriteAll(path, old));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(QFile::encodeName(Path("locked")).constData(), 0555) == 0);
        QVERIFY(::chmod(QFile::encodeName(Dir->path()).constData(), 0755) == 0);
        const QByteArray pic = RandomPicture(5, 5, 11);
        const int code = RunInChild([&] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 100;
            if (::access(QFile::encodeName(Path("locked")).constData(), X_OK) != 0)
                return 100;
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit {rlim_t(sizeLimit), rlim_t(sizeLimit)};
            if (sizeLimit >= 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 100;
            return static_cast<int>(Save(path, pic, 5, 5));
        });
        ::chmod(QFile::encodeName(Path("locked")).constData(), 0755);
        if (code == 100)
            QSKIP("cannot run as an unprivileged user here");
        QCOMPARE(code, static_cast<int>(expected));
        QCOMPARE(ReadAll(path).size(), expected == TBmpResult::Ok ? 54 + 16 * 5 + 2 : old.size());
        if (expected != TBmpResult::Ok)
            QCOMPARE(ReadAll(path), old);
        QCOMPARE(Entries(Path("locked")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBmpWriter)
#include "tst_bmpwriter.moc"
