#include "app/downloads.h"

#include "logging.h"
#include "page/browsing.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// File names longer than this many bytes are refused by the usual file systems.
const int maximumNameBytes = 255;

// Extensions that are two suffixes: the number goes before both.
const char *const doubleExtensions[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst"};

QString extensionOf(const QString &name)
{
    for (const char *extension : doubleExtensions) {
        if (name.endsWith(QLatin1String(extension), Qt::CaseInsensitive)
            && name.size() > int(qstrlen(extension))) {
            return name.right(int(qstrlen(extension)));
        }
    }
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot) : QString();
}

// Shortens the name's stem so that the whole name fits, keeping the extension.
QString fitted(const QString &name)
{
    if (name.toUtf8().size() <= maximumNameBytes) {
        return name;
    }
    QString extension = extensionOf(name);
    if (extension.toUtf8().size() > maximumNameBytes / 2) {
        extension.clear();
    }
    QString stem = name.left(name.size() - extension.size());
    while (!stem.isEmpty() && (stem + extension).toUtf8().size() > maximumNameBytes - 8) {
        stem.chop(1);
        if (!stem.isEmpty() && QChar(stem.back()).isHighSurrogate()) {
            stem.chop(1);
        }
    }
    return stem + extension;
}

} // namespace

Downloads::Downloads(QObject *parent)
    : QObject(parent)
    , m_folder(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation))
{
}

QString Downloads::cleanName(const QString &suggested, const QUrl &url)
{
    QString name = suggested;
    if (name.trimmed().isEmpty()) {
        name = url.fileName(QUrl::FullyDecoded);
    }
    // Whatever folders the name names are dropped, with either separator.
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    QString clean;
    for (const QChar c : qAsConst(name)) {
        clean += c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ? QChar('_') : c;
    }
    clean = clean.trimmed();
    // A leading dot would hide the file, and "." and ".." are not files.
    while (clean.startsWith(QLatin1Char('.'))) {
        clean.remove(0, 1);
    }
    if (clean.isEmpty()) {
        clean = QStringLiteral("download");
    }
    return fitted(clean);
}

QString Downloads::freePath(const QString &folder, const QString &name, const QSet<QString> &taken)
{
    const QDir dir(folder);
    const QString extension = extensionOf(name);
    const QString stem = name.left(name.size() - extension.size());
    QString path = dir.filePath(name);
    for (int n = 1; QFileInfo::exists(path) || QFileInfo(path).isSymLink() || taken.contains(path); ++n) {
        path = dir.filePath(fitted(QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension)));
    }
    return path;
}

void Downloads::take(Download *download)
{
    const QString name = cleanName(download->suggestedName(), download->url());
    if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isDir()) {
        qCWarning(lcApp) << "download: cannot make the folder" << m_folder << "for" << download->url();
        download->cancel();
        emit failed(tr("フォルダ %1 を作れません").arg(m_folder));
        return;
    }
    const QString path = freePath(m_folder, name, m_running);
    qCDebug(lcApp) << "download" << download->url() << "to" << path;
    m_running.insert(path);
    connect(download, &Download::finished, this, [this, path](bool ok, const QString &error) {
        m_running.remove(path);
        if (ok) {
            qCDebug(lcApp) << "download finished" << path;
            emit saved(path);
        } else {
            qCWarning(lcApp) << "download failed" << path << error;
            emit failed(error);
        }
    });
    emit started(QFileInfo(path).fileName());
    download->saveTo(path);
}
