#include "support/TestFiles.h"
#include "web/HtmlPage.h"
#include "web/WebSettings.h"
#include "web/WebUsers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

QByteArray basic(const QByteArray& credentials)
{
    return "Basic " + credentials.toBase64();
}

TEST(WebUsers, APasswordMatchesItsSaltedHashOnly)
{
    const QByteArray hash = WebUsers::hashPassword("s3cret");
    EXPECT_TRUE(hash.startsWith("$y$")) << hash.toStdString();
    EXPECT_NE(WebUsers::hashPassword("s3cret"), hash);  // salted
    EXPECT_TRUE(WebUsers::passwordMatches("s3cret", hash));
    for (const QByteArray& wrong : {QByteArray("S3cret"), QByteArray("s3cret "), QByteArray("s3cre"), QByteArray()})
        EXPECT_FALSE(WebUsers::passwordMatches(wrong, hash)) << wrong.toStdString();
    // crypt(3) reads up to a NUL: what follows it must not make a different password match.
    EXPECT_FALSE(WebUsers::passwordMatches(QByteArray("s3cret\0more", 11), hash));
    EXPECT_FALSE(WebUsers::passwordMatches("s3cret", {}));
    EXPECT_FALSE(WebUsers::passwordMatches("s3cret", "not a hash"));
    EXPECT_FALSE(WebUsers::passwordMatches("s3cret", hash.left(hash.size() - 1)));
}

class WebUsersFile : public ::testing::Test {
protected:
    void add(const QString& name, const QByteArray& password)
    {
        QString problem;
        ASSERT_TRUE(WebUsers::addUser(path_, name, password, problem)) << problem.toStdString();
    }

    QTemporaryDir folder_;
    QString path_ = folder_.filePath(u"users"_s);
};

TEST_F(WebUsersFile, OnlyAKnownNameWithItsPasswordIsAllowed)
{
    add(u"reader"_s, "pass:word with colon");
    WebUsers users(path_);
    ASSERT_TRUE(users.load()) << users.problem().toStdString();
    EXPECT_EQ(users.count(), 1);
    EXPECT_TRUE(users.allows(basic("reader:pass:word with colon")));
    EXPECT_TRUE(users.allows(basic("reader:pass:word with colon")));  // remembered
    const QList<QByteArray> refused{
        basic("reader:pass:word"),
        basic("reader:pass:word with colon "),
        basic("Reader:pass:word with colon"),
        basic("nobody:pass:word with colon"),
        basic(":pass:word with colon"),        // no name
        basic("reader"),                       // no colon
        basic(QByteArray(65, 'r') + ":x"),     // a name longer than any user's
        basic("reader:" + QByteArray(300, 'x')),
        "",
        "Basic",
        "Basic ",
        "Basic !!!not-base64!!!",
        "Bearer " + QByteArray("reader:pass:word with colon").toBase64(),
        "Basicx" + QByteArray("reader:pass:word with colon").toBase64(),
    };
    for (const QByteArray& authorization : refused)
        EXPECT_FALSE(users.allows(authorization)) << authorization.toStdString();

    EXPECT_EQ(WebUsers::userNamed(basic("reader:wrong")), u"reader"_s);
    EXPECT_EQ(WebUsers::userNamed(basic(QByteArray(500, 'n') + ":x")).size(), WebUsers::kMaxNameLength);
    EXPECT_TRUE(WebUsers::userNamed("Basic !!!").isEmpty());
    EXPECT_TRUE(WebUsers::userNamed("Bearer abc").isEmpty());
}

// Users added, a password changed, the file removed: the running program follows the file
// without a restart, and a changed password no longer opens the pages.
TEST_F(WebUsersFile, TheFileIsReadAgainWhenItChanges)
{
    add(u"reader"_s, "first");
    WebUsers users(path_);
    ASSERT_TRUE(users.load());
    EXPECT_TRUE(users.allows(basic("reader:first")));
    add(u"second"_s, "other");
    EXPECT_TRUE(users.allows(basic("second:other")));
    EXPECT_EQ(users.count(), 2);
    add(u"reader"_s, "changed");  // the file keeps its size: a hash is as long as the one before
    EXPECT_FALSE(users.allows(basic("reader:first")));
    EXPECT_TRUE(users.allows(basic("reader:changed")));
    ASSERT_TRUE(QFile::remove(path_));
    EXPECT_FALSE(users.allows(basic("reader:changed")));
    EXPECT_FALSE(users.allows(basic("second:other")));
}

TEST_F(WebUsersFile, AddingAUserKeepsTheOthersAndTakesPlainNamesOnly)
{
    writeFile(path_, "# readers of the monitor\n");
    add(u"ab"_s, "one");
    add(u"a"_s, "two");
    add(u"ab"_s, "three");
    const QList<QByteArray> lines = readFile(path_).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "# readers of the monitor");
    EXPECT_TRUE(lines[1].startsWith("a:$y$"));
    EXPECT_TRUE(lines[2].startsWith("ab:$y$"));
    EXPECT_TRUE(WebUsers::passwordMatches("three", lines[2].mid(3)));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(path_) & others, QFile::Permissions());

    QString problem;
    for (const QString& name : {u""_s, u"a:b"_s, u"a b"_s, u"利用者"_s, u"a\nb"_s, QString(65, u'x')}) {
        EXPECT_FALSE(WebUsers::addUser(path_, name, "pw", problem)) << name.toStdString();
        EXPECT_FALSE(problem.isEmpty());
    }
    EXPECT_TRUE(WebUsers::validName(u"Ops.team_1-"_s + QString(53, u'x')));
    for (const QByteArray& password : {QByteArray(), QByteArray(257, 'p'), QByteArray("p\0w", 3)})
        EXPECT_FALSE(WebUsers::addUser(path_, u"c"_s, password, problem)) << password.size();
    EXPECT_EQ(readFile(path_).count('\n'), 3);
    EXPECT_FALSE(WebUsers::addUser(folder_.filePath(u"missing/users"_s), u"c"_s, "pw", problem));
    EXPECT_TRUE(problem.contains(u"missing/users"_s)) << problem.toStdString();

    writeFile(path_, "# nobody\n\n");
    WebUsers nobody(path_);
    EXPECT_FALSE(nobody.load());
    EXPECT_FALSE(nobody.problem().isEmpty());
}

TEST(ListenAddress, TakesAnAddressAndPortOrAPortAlone)
{
    const std::vector<std::tuple<QString, QHostAddress, quint16>> good{
        {u"127.0.0.1:8080"_s, QHostAddress(u"127.0.0.1"_s), 8080},
        {u"0.0.0.0:443"_s, QHostAddress(u"0.0.0.0"_s), 443},
        {u"192.168.10.5:65535"_s, QHostAddress(u"192.168.10.5"_s), 65535},
        {u"[::1]:8443"_s, QHostAddress(u"::1"_s), 8443},
        {u"[::]:80"_s, QHostAddress(u"::"_s), 80},
        {u"9090"_s, QHostAddress(QHostAddress::LocalHost), 9090},
        {u"localhost:9000"_s, QHostAddress(QHostAddress::LocalHost), 9000},
    };
    for (const auto& [text, address, port] : good) {
        QHostAddress parsedAddress;
        quint16 parsedPort = 0;
        EXPECT_TRUE(parseListenAddress(text, parsedAddress, parsedPort)) << text.toStdString();
        EXPECT_EQ(parsedAddress, address) << text.toStdString();
        EXPECT_EQ(parsedPort, port) << text.toStdString();
    }
    for (const QString& text : {u""_s, u"127.0.0.1"_s, u"127.0.0.1:"_s, u"127.0.0.1:0"_s, u"127.0.0.1:65536"_s,
                                u"127.0.0.1:80x"_s, u"127.0.0.1:-1"_s, u"example.com:80"_s, u"1.2.3.4.5:80"_s,
                                u"[::1]8080"_s, u"[::1]"_s, u"[nonsense]:80"_s}) {
        QHostAddress address(u"10.0.0.1"_s);
        quint16 port = 1;
        EXPECT_FALSE(parseListenAddress(text, address, port)) << text.toStdString();
        EXPECT_EQ(address, QHostAddress(u"10.0.0.1"_s)) << "changed by " << text.toStdString();
        EXPECT_EQ(port, 1);
    }
}

TEST(HtmlEscaping, TextNeverBecomesMarkup)
{
    EXPECT_EQ(htmlEscaped(u"<a href=\"x\" title='y'>&amp;</a> 受注"_s),
              u"&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt; 受注"_s);
    EXPECT_EQ(htmlEscaped({}), QString());

    // Each part a page is made of, given text that tries to close its element or attribute.
    const QString hostile = u"<script>alert(1)</script>\"' onmouseover=alert(2) x='"_s;
    HtmlPage page(hostile, true);
    page.heading(hostile);
    page.paragraph(hostile, hostile);
    page.links({{hostile, hostile, hostile, hostile}});
    page.beginTable({hostile}, hostile);
    page.row({HtmlCell{hostile, hostile, hostile, hostile, true}, HtmlCell{hostile, {}, {}, {}, false}}, hostile, hostile);
    page.endTable();
    page.getForm(hostile, {{hostile, hostile, hostile}, {u"failed"_s, hostile, hostile, u"checkbox"_s}}, hostile);
    page.values({{hostile, HtmlCell{hostile, hostile, hostile, hostile, false}}});
    const QString html = QString::fromUtf8(page.finish());
    EXPECT_FALSE(html.contains(u"<script>"_s)) << html.toStdString();
    EXPECT_FALSE(html.contains(u"\" onmouseover"_s)) << html.toStdString();
    EXPECT_FALSE(html.contains(u"' onmouseover"_s)) << html.toStdString();
    EXPECT_TRUE(html.contains(u"<title>&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39; onmouseover"_s)) << html.toStdString();
}

}  // namespace
}  // namespace edi::test
