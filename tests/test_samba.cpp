// Samba is the counterpart: its own NDR coder decodes what ZOV writes and packs what ZOV
// reads, and a Samba server on the loopback address serves a folder that ZOV changes.

#include "TestFolder.h"
#include "files/DosAttrib.h"
#include "files/basTavlo.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTimeZone>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace basTavlo;

namespace {

// In CI Samba must run; elsewhere a missing Samba skips with the reason.
#define SAMBA_NEEDED(reason)                                                                       \
    do {                                                                                           \
        if (qEnvironmentVariableIsSet("CI"))                                                       \
            FAIL() << reason;                                                                      \
        GTEST_SKIP() << reason;                                                                    \
    } while (0)

// Runs Samba's coder; one JSON object for each line it prints.
std::vector<QJsonObject> sambaNdr(const QStringList& args) {
    QProcess p;
    p.start("/usr/bin/python3", QStringList{ZOV_TEST_DIR "/samba_ndr.py"} + args);
    std::vector<QJsonObject> out;
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            out.push_back(QJsonDocument::fromJson(line).object());
    return out;
}

qint64 num(const QJsonObject& o, const char* key) {
    return o.value(key).toInteger(-1);
}

// A TCP port on 127.0.0.1: bound to port 0 (the kernel picks one), or listening there.
int loopbackPort(int port = 0) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(port));
    socklen_t len = sizeof a;
    int got = -1;
    if (port == 0) {
        if (bind(s, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            got = ntohs(a.sin_port);
    } else if (connect(s, reinterpret_cast<sockaddr*>(&a), len) == 0) {
        got = port;
    }
    close(s);
    return got;
}

} // namespace

// Every value ZOV writes decodes in Samba with the word, its valid flag, the creation time
// and the hex text Wine reads; what else Samba packed stays as it was. And every value
// Samba packs reads in ZOV as in Samba.
TEST(Samba, DecoderAgreesWithEveryValueZovWritesAndReads) {
    const std::vector<QJsonObject> packed = sambaNdr({"encode"});
    if (packed.empty())
        SAMBA_NEEDED("Samba's NDR coder can't be run (needs /usr/bin/python3 and python3-samba)");
    const quint64 t = 131000000000000000ULL;
    struct Written {
        QByteArray value;
        quint32 attrib;
        std::optional<qint64> create;
        const QJsonObject* from; // Samba's value it was made from
        bool attribValid = true; // a creation time alone leaves a word not valid as it was
    };
    std::vector<Written> written = {
        {*WithAttrib({}, 0x27), 0x27, {}, nullptr},
        {*WithAttrib("0x2", 0x3), 0x3, {}, nullptr},
        {*WithCreateTime({}, t), 0, t, nullptr},
        {*WithCreateTime("0x26", t), 0x26, t, nullptr},
    };
    for (const QJsonObject& o : packed) {
        const QByteArray value = QByteArray::fromHex(o.value("hex").toString().toLatin1());
        const DosAttrib d = ParseDosAttrib(value);
        SCOPED_TRACE(o.value("hex").toString().toStdString());
        const bool attribValid = !o.contains("valid_flags") || (num(o, "valid_flags") & 1);
        EXPECT_EQ(d.attribValid, attribValid);
        if (attribValid) {
            EXPECT_EQ(d.attrib, quint32(num(o, "attrib")));
        }
        const bool createValid = num(o, "create_time") > 0 &&
                                 (!o.contains("valid_flags") || (num(o, "valid_flags") & 0x10));
        EXPECT_EQ(d.createTimeValid, createValid);
        if (createValid) {
            EXPECT_EQ(qint64(d.createTime), num(o, "create_time"));
        }
        const quint32 word = quint32(num(o, "attrib")) ^ 0x6;
        written.push_back({*WithAttrib(value, word), word,
                           createValid ? std::optional(num(o, "create_time")) : std::nullopt, &o});
        written.push_back(
            {*WithCreateTime(value, t), quint32(num(o, "attrib")), t, &o, attribValid});
    }
    QStringList hexes{"decode"};
    for (const Written& w : written)
        hexes << QString::fromLatin1(w.value.toHex());
    const std::vector<QJsonObject> decoded = sambaNdr(hexes);
    ASSERT_EQ(decoded.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        const Written& w = written[i];
        const QJsonObject& d = decoded[i];
        SCOPED_TRACE(w.value.toHex().toStdString());
        ASSERT_FALSE(d.contains("error")) << d.value("error").toString().toStdString();
        EXPECT_EQ(num(d, "attrib"), w.attrib);
        if (w.attribValid) {
            EXPECT_EQ(d.value("text").toString(), "0x" + QString::number(w.attrib, 16)); // Wine
        }
        if (d.contains("valid_flags")) {
            EXPECT_EQ(bool(num(d, "valid_flags") & 1), w.attribValid);
            EXPECT_EQ(bool(num(d, "valid_flags") & 0x10), w.create.has_value());
        }
        if (w.create) {
            EXPECT_EQ(num(d, "create_time"), *w.create);
        }
        for (auto it = d.begin(); w.from && it != d.end(); ++it) {
            const QString k = it.key();
            if (k != "attrib" && k != "text" && k != "valid_flags" && k != "create_time") {
                EXPECT_EQ(it.value(), w.from->value(k)) << k.toStdString();
            }
        }
    }
}

namespace {

// smbd on 127.0.0.1 at a free port, serving one folder as guest, with
// "store dos attributes"; stopped when the test ends.
class SambaServer {
public:
    SambaServer() {
        m_port = loopbackPort();
        if (m_port <= 0)
            return;
        const QString d = m_dir.path();
        for (const char* sub : {"share", "private", "lock", "state", "cache", "pid", "rpc"})
            m_dir.mkdir(sub);
        m_dir.write("smb.conf", QString(R"([global]
interfaces = 127.0.0.1
bind interfaces only = yes
smb ports = %1
disable netbios = yes
server role = standalone server
private dir = %2private
lock directory = %2lock
state directory = %2state
cache directory = %2cache
pid directory = %2pid
ncalrpc dir = %2rpc
log file = %2log
passdb backend = tdbsam
map to guest = Bad User
guest account = root
load printers = no
disable spoolss = yes
[t]
path = %2share
read only = no
guest ok = yes
store dos attributes = yes
)")
                                    .arg(m_port)
                                    .arg(d)
                                    .toUtf8());
        m_smbd.start("smbd", {"-F", "-s", d + "smb.conf"});
        m_smbd.waitForStarted();
        for (int i = 0; i < 200 && !m_up && m_smbd.state() == QProcess::Running; ++i) {
            m_up = loopbackPort(m_port) == m_port;
            if (!m_up)
                QThread::msleep(50);
        }
    }
    ~SambaServer() {
        m_smbd.terminate();
        if (!m_smbd.waitForFinished(5000))
            m_smbd.kill();
        m_smbd.waitForFinished(5000);
    }
    bool up() const { return m_up; }
    QString file(const QString& name) const { return m_dir.path() + "share/" + name; }

    // What smbclient prints for one command, with times in UTC.
    QString client(const QString& command) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", "UTC");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("smbclient", {"-s", m_dir.path() + "smb.conf", "-p", QString::number(m_port), "-N",
                              "//127.0.0.1/t", "-c", command});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAll());
    }
    // The attribute letters smbclient's allinfo shows, as "RHSA".
    QString attributes(const QString& name) const {
        const QString info = client("allinfo " + name);
        const qsizetype at = info.indexOf("attributes: ");
        return at < 0 ? "?" : info.mid(at + 12).section(' ', 0, 0);
    }

private:
    TestFolder m_dir;
    QProcess m_smbd;
    int m_port = 0;
    bool m_up = false;
};

} // namespace

TEST(Samba, ServerAndZovSeeTheSameBits) {
    if (geteuid() != 0)
        SAMBA_NEEDED("smbd serves a folder here only when started as root");
    const SambaServer smb;
    if (!smb.up())
        SAMBA_NEEDED("smbd could not be started on 127.0.0.1 (needs the samba package)");
    for (const char* n : {"zov.txt", "samba.txt", "ronly.txt"}) {
        QFile f(smb.file(n));
        ASSERT_TRUE(f.open(QIODevice::NewOnly));
        f.write(n);
    }
    const quint32 all = AttrReadOnly | AttrHidden | AttrSystem | AttrArchive;
    // What ZOV sets, Samba shows: the four bits, and the creation time.
    ASSERT_TRUE(SetAttributes(smb.file("zov.txt"), all));
    EXPECT_EQ(smb.attributes("zov.txt"), "RHSA");
    const qint64 created =
        QDateTime(QDate(2003, 4, 5), QTime(6, 7, 8), QTimeZone::utc()).toSecsSinceEpoch();
    ASSERT_TRUE(SetFileTimes(smb.file("zov.txt"), TimesToSet{created, {}, {}}).ok());
    EXPECT_TRUE(smb.client("allinfo zov.txt").contains("create_time:    Sat Apr  5 06:07:08 2003"))
        << smb.client("allinfo zov.txt").toStdString();
    EXPECT_EQ(smb.attributes("zov.txt"), "RHSA"); // the time kept the bits

    // What Samba sets, ZOV reads; and a bit ZOV adds keeps Samba's read-only.
    EXPECT_TRUE(smb.client("setmode samba.txt +rhsa").trimmed().isEmpty());
    EXPECT_EQ(GetAttributes(smb.file("samba.txt")), all);
    smb.client("setmode ronly.txt +r");
    const auto ronly = GetAttributes(smb.file("ronly.txt"));
    ASSERT_TRUE(ronly && (*ronly & AttrReadOnly));
    ASSERT_TRUE(SetAttributes(smb.file("ronly.txt"), *ronly | AttrHidden));
    EXPECT_TRUE(smb.attributes("ronly.txt").startsWith("RH"));
    EXPECT_TRUE(smb.client("ls").contains(QRegularExpression("zov.txt +AHSR ")))
        << smb.client("ls").toStdString();
}
