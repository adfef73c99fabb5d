#include "desktop_shell.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <vector>

namespace quillon {

namespace {

QUrl urlFor(const QString& pathOrAddress)
{
    const bool isAddress = pathOrAddress.startsWith(QLatin1String("http://"))
        || pathOrAddress.startsWith(QLatin1String("https://"));
    // A file: URL carries a name's bytes percent-encoded, also bytes that
    // are not UTF-8; it is passed on as written.
    const bool isFileUrl = pathOrAddress.startsWith(QLatin1String("file://"));
    return isAddress ? QUrl(pathOrAddress)
        : isFileUrl  ? QUrl::fromEncoded(pathOrAddress.toLatin1())
                     : QUrl::fromLocalFile(pathOrAddress);
}

} // namespace

QString xdgOpenFailure(int exitCode, const QByteArray& standardError)
{
    QString said;
    const QList<QByteArray> lines = standardError.trimmed().split('\n');
    if (!lines.isEmpty())
        said = QString::fromLocal8Bit(lines.last().trimmed()).left(400);
    if (said.startsWith(QLatin1String("xdg-open: ")))
        said = said.mid(10);
    QString why;
    switch (exitCode) {
    case 2: why = QStringLiteral("It does not exist."); break;
    case 3: why = QStringLiteral("No program that opens it was found."); break;
    case 4: why = QStringLiteral("The program that opens it could not open it."); break;
    default: why = QStringLiteral("The desktop's opener (xdg-open) ended with code %1.").arg(exitCode); break;
    }
    return said.isEmpty() ? why : why + QLatin1Char('\n') + said;
}

// xdg-open runs on its own and may wait for the program it started (so its
// exit status says whether that program could be started at all); its
// standard error goes to a file, which the program it starts may keep
// writing to without harm after the shell has stopped listening.
struct QtDesktopShell::Launches {
    std::vector<QPointer<QProcess>> running;
    ~Launches()
    {
        for (const QPointer<QProcess>& p : running) {
            if (!p)
                continue;
            p->disconnect(); // its end now is no failure to report
            delete p.data(); // ends xdg-open only; what it started goes on
        }
    }
};

QtDesktopShell::QtDesktopShell() : m_launches(std::make_unique<Launches>()) {}
QtDesktopShell::~QtDesktopShell() = default;

void QtDesktopShell::open(const QString& pathOrAddress, Failed failed)
{
    const QUrl url = urlFor(pathOrAddress);
#if defined(Q_OS_WIN)
    // The shell tells the user itself when it cannot open something.
    QDesktopServices::openUrl(url);
    Q_UNUSED(failed);
#else
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url) && failed)
            failed(QStringLiteral("No program for opening files, folders and web pages was found "
                                  "(xdg-open is not installed)."));
        return;
    }
    auto* process = new QProcess;
    auto* errors = new QTemporaryFile(process);
    if (errors->open())
        process->setStandardErrorFile(errors->fileName());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process,
                     [process, errors, failed](int code, QProcess::ExitStatus status) {
                         if (failed && (status != QProcess::NormalExit || code != 0)) {
                             errors->seek(0);
                             failed(status == QProcess::NormalExit
                                        ? xdgOpenFailure(code, errors->readAll())
                                        : QStringLiteral("The desktop's opener (xdg-open) stopped unexpectedly."));
                         }
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, failed](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        if (failed)
            failed(QStringLiteral("The desktop's opener (xdg-open) could not be started: %1")
                       .arg(process->errorString()));
        process->deleteLater();
    });
    auto& running = m_launches->running;
    std::erase_if(running, [](const QPointer<QProcess>& p) { return p.isNull(); });
    running.emplace_back(process);
    process->start(opener, {url.isLocalFile() && !pathOrAddress.startsWith(QLatin1String("file://"))
                                ? url.toLocalFile()
                                : QString::fromLatin1(url.toEncoded())});
#endif
}

} // namespace quillon
