#include "WebProcess.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

QByteArray basic(const QByteArray& name, const QByteArray& password)
{
    return "Authorization: Basic " + (name + ':' + password).toBase64();
}

// The web program on a database of the demo, with the [WEB] section each test gives.
class WebLoginTest : public ::testing::Test {
protected:
    WebLoginTest() : database_(Backend::Sqlite)
    {
        database_.createTables();
        database_.loadDemoData(u"WS-A"_s);
    }

    QString path(const QString& name) const { return database_.folder() + u'/' + name; }
    QString config(const QByteArray& web) const
    {
        writeFile(path(u"EDI.ini"_s), database_.environmentSection() + "[WEB]\n" + web);
        return path(u"EDI.ini"_s);
    }
    // A self-signed certificate for localhost and 127.0.0.1, with a key of the kind given to
    // openssl (ec, rsa:2048), in cert.pem and key.pem.
    QSslCertificate makeCertificate(const QString& keyKind = u"ec"_s) const
    {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{u"req"_s, u"-x509"_s, u"-newkey"_s, keyKind};
        if (keyKind == u"ec"_s)
            arguments << u"-pkeyopt"_s << u"ec_paramgen_curve:prime256v1"_s;
        arguments << u"-nodes"_s << u"-keyout"_s << path(u"key.pem"_s) << u"-out"_s << path(u"cert.pem"_s) << u"-days"_s
                  << u"2"_s << u"-subj"_s << u"/CN=localhost"_s << u"-addext"_s
                  << u"subjectAltName=DNS:localhost,IP:127.0.0.1"_s;
        openssl.start(u"openssl"_s, arguments);
        EXPECT_TRUE(openssl.waitForFinished(30000) && openssl.exitCode() == 0) << openssl.readAll().toStdString();
        return QSslCertificate::fromPath(path(u"cert.pem"_s)).value(0);
    }
    // "edi-auto web --add-user NAME" with the password on its standard input; its exit code.
    int addUser(const QString& name, const QByteArray& password) const
    {
        QByteArray err;
        const int code = runProgram({u"web"_s, u"--ini"_s, path(u"EDI.ini"_s), u"--add-user"_s, name}, password + '\n', nullptr, &err);
        EXPECT_EQ(code, 0) << err.toStdString();
        return code;
    }
    // The program that refuses to start: its exit code, its output in `output`.
    int refusedStart(const QString& configPath, const QString& listen, QString& output) const
    {
        WebProcess program(configPath, {u"--listen"_s, listen});
        const int code = program.waitForExit();
        output = program.output();
        return code;
    }

    TestDatabase database_;
};

// Readers on other machines may only read over TLS and after a login: without either the program
// does not start, and says why. A listen address it cannot take ends it too.
TEST_F(WebLoginTest, AnAddressOtherMachinesReachNeedsTlsAndUsers)
{
    makeCertificate();
    const QString any = u"0.0.0.0:%1"_s.arg(freePort(u"0.0.0.0"_s));
    const QString reachable = u"は他の機械から読めるアドレスです"_s;
    QString output;
    for (const QByteArray& web : {QByteArray(), QByteArray("CERT=cert.pem\nKEY=key.pem\n"), QByteArray("USERS=users\n")}) {
        writeFile(path(u"users"_s), "reader:$y$j9T$salt$hash\n");
        EXPECT_EQ(refusedStart(config(web), any, output), 1) << web.toStdString();
        EXPECT_TRUE(output.contains(reachable)) << output.toStdString();
    }
    const QByteArray tls = "CERT=cert.pem\nKEY=key.pem\nUSERS=users\n";
    writeFile(path(u"users"_s), "# nobody yet\n");
    EXPECT_EQ(refusedStart(config(tls), any, output), 1);
    EXPECT_TRUE(output.contains(u"に利用者がいません"_s)) << output.toStdString();
    QFile::remove(path(u"users"_s));
    EXPECT_EQ(refusedStart(config(tls), any, output), 1);
    EXPECT_TRUE(output.contains(u"を読めません"_s)) << output.toStdString();

    const QString loopback = u"127.0.0.1:%1"_s.arg(freePort());
    EXPECT_EQ(refusedStart(config("CERT=cert.pem\n"), loopback, output), 1);
    EXPECT_TRUE(output.contains(u"CERT と KEY は両方指定してください"_s)) << output.toStdString();
    EXPECT_EQ(refusedStart(config("KEY=cert.pem\nCERT=key.pem\n"), loopback, output), 1);
    EXPECT_TRUE(output.contains(u"PEM 形式ではありません"_s)) << output.toStdString();
    EXPECT_EQ(refusedStart(config("LISTEN=127.0.0.1\n"), loopback, output), 1);
    EXPECT_TRUE(output.contains(u"[WEB] LISTEN は ADDRESS:PORT の形で指定してください"_s)) << output.toStdString();

    for (const QString& listen : {u"127.0.0.1:0"_s, u"127.0.0.1:70000"_s, u"nowhere:80"_s, u"127.0.0.1:"_s})
        EXPECT_EQ(refusedStart(config({}), listen, output), 2) << listen.toStdString();
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    EXPECT_EQ(refusedStart(config({}), u"127.0.0.1:%1"_s.arg(taken.serverPort()), output), 1);
    EXPECT_TRUE(output.contains(u"で待ち受けできません"_s)) << output.toStdString();
}

// Over TLS with users: no page without a login, a wrong password answered after a pause and
// logged, while other readers are served meanwhile; a user added while it runs may log in.
TEST_F(WebLoginTest, ReadersLogInOverTlsWithTheirPasswords)
{
    const QSslCertificate certificate = makeCertificate();
    ASSERT_FALSE(certificate.isNull());
    config("CERT=cert.pem\nKEY=key.pem\nUSERS=users\n");
    ASSERT_EQ(addUser(u"reader"_s, "s3cret:with colon"), 0);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(path(u"users"_s)) & others, QFile::Permissions());
    EXPECT_TRUE(readFile(path(u"users"_s)).startsWith("reader:$y$"));
    const quint16 port = freePort(u"0.0.0.0"_s);
    WebProcess program(path(u"EDI.ini"_s), {u"--listen"_s, u"0.0.0.0:%1"_s.arg(port)});
    ASSERT_TRUE(program.waitUntilListening()) << program.output().toStdString();
    EXPECT_TRUE(program.output().contains(u"開始 https://0.0.0.0:%1/"_s.arg(port))) << program.output().toStdString();

    HttpConnection connection(port, certificate);
    ASSERT_TRUE(connection.connected());
    QElapsedTimer timer;
    timer.start();
    const HttpAnswer anonymous = connection.ask("GET", "/");
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_EQ(anonymous.header("WWW-Authenticate"), "Basic realm=\"EDI\", charset=\"UTF-8\"");
    EXPECT_EQ(anonymous.header("X-Content-Type-Options"), "nosniff");
    EXPECT_FALSE(anonymous.text().contains(u"WS-A"_s));
    EXPECT_LT(timer.elapsed(), 800);  // no pause without a password
    const HttpAnswer anonymousApi = connection.ask("GET", "/api/overview");
    EXPECT_EQ(anonymousApi.status, 401);
    EXPECT_FALSE(QJsonDocument::fromJson(anonymousApi.body).object()[u"error"_s].toString().isEmpty());

    // Two wrong logins and a right one at once: the right one is not kept waiting.
    HttpConnection wrongPassword(port, certificate);
    HttpConnection unknownUser(port, certificate);
    HttpConnection right(port, certificate);
    timer.restart();
    wrongPassword.send("GET", "/", {basic("reader", "s3cret")});
    unknownUser.send("GET", "/", {basic("mallory", "s3cret:with colon")});
    const HttpAnswer page = right.ask("GET", "/", {basic("reader", "s3cret:with colon")});
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.text().contains(u"WS-A"_s));
    EXPECT_LT(timer.elapsed(), 800);
    for (HttpConnection* refused : {&wrongPassword, &unknownUser}) {
        const HttpAnswer answer = refused->answer();
        EXPECT_EQ(answer.status, 401);
        EXPECT_TRUE(answer.closed);
    }
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(program.waitForOutput(u"ログインに失敗しました: 利用者 \"reader\" 接続元 127.0.0.1 /"_s)) << program.output().toStdString();
    EXPECT_TRUE(program.waitForOutput(u"ログインに失敗しました: 利用者 \"mallory\""_s));
    EXPECT_FALSE(program.output().contains(u"s3cret"_s));  // passwords are never logged

    EXPECT_EQ(right.ask("GET", "/api/overview", {basic("reader", "s3cret:with colon")}).status, 200);
    // Guesses sent one after another on a connection are not all tried at once: after a refused
    // login the connection answers nothing more, and ends.
    HttpConnection guesses(port, certificate);
    guesses.send("GET", "/", {basic("reader", "guess")});
    guesses.send("GET", "/", {basic("reader", "s3cret:with colon")});
    const HttpAnswer firstGuess = guesses.answer();
    EXPECT_EQ(firstGuess.status, 401);
    EXPECT_TRUE(firstGuess.closed);
    EXPECT_EQ(guesses.answer().status, 0);
    ASSERT_EQ(addUser(u"second"_s, "another one"), 0);
    EXPECT_EQ(right.ask("GET", "/healthz", {basic("second", "another one")}).status, 200);
    EXPECT_EQ(right.ask("GET", "/healthz", {basic("reader", "s3cret:with colon")}).status, 200);

    // Plain HTTP on the TLS port gets no page.
    HttpConnection plain(port);
    plain.send("GET", "/healthz", {basic("reader", "s3cret:with colon")});
    const QByteArray answer = plain.readToEnd(3000);
    EXPECT_FALSE(answer.startsWith("HTTP/1.1 200")) << answer.toStdString();
    EXPECT_FALSE(answer.contains("ok\n"));
}

// The certificate's key may be an EC or an RSA key; on this machine's own address TLS asks no login.
TEST_F(WebLoginTest, TlsServesWithAnEcOrAnRsaKey)
{
    for (const QString& kind : {u"ec"_s, u"rsa:2048"_s}) {
        const QSslCertificate certificate = makeCertificate(kind);
        config("CERT=cert.pem\nKEY=key.pem\n");
        const quint16 port = freePort();
        WebProcess program(path(u"EDI.ini"_s), {u"--listen"_s, u"127.0.0.1:%1"_s.arg(port)});
        ASSERT_TRUE(program.waitUntilListening()) << kind.toStdString() << ": " << program.output().toStdString();
        HttpConnection connection(port, certificate);
        ASSERT_TRUE(connection.connected()) << kind.toStdString();
        const HttpAnswer health = connection.ask("GET", "/healthz");
        EXPECT_EQ(health.status, 200) << kind.toStdString();
        EXPECT_EQ(health.body, "ok\n");
    }
}

}  // namespace
}  // namespace edi::test
