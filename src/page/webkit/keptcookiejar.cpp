#include "page/webkit/keptcookiejar.h"

#include "logging.h"
#include "store/profilestore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QNetworkCookie>
#include <QSaveFile>

#include <utility>

namespace {

const QByteArray header = QByteArrayLiteral("# Kakikomi cookies 1\n");
// Changes come in bursts (every response of a page may set some): one write for a burst.
const int saveDelayMs = 1000;

bool kept(const QNetworkCookie &cookie, const QDateTime &now)
{
    return !cookie.isSessionCookie() && cookie.expirationDate() > now && !cookie.domain().isEmpty();
}

} // namespace

KeptCookieJar::KeptCookieJar(const QString &path, QObject *parent)
    : QNetworkCookieJar(parent)
    , m_path(path)
{
    m_saveSoon.setSingleShot(true);
    m_saveSoon.setInterval(saveDelayMs);
    connect(&m_saveSoon, &QTimer::timeout, this, &KeptCookieJar::save);
    if (!m_path.isEmpty()) {
        load();
    }
}

KeptCookieJar::~KeptCookieJar()
{
    save();
}

QByteArray KeptCookieJar::serialize(const QList<QNetworkCookie> &cookies)
{
    QByteArray text = header;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QNetworkCookie &cookie : cookies) {
        if (kept(cookie, now)) {
            text += cookie.toRawForm(QNetworkCookie::Full) + '\n';
        }
    }
    return text;
}

bool KeptCookieJar::parse(const QByteArray &text, QList<QNetworkCookie> *cookies)
{
    if (!text.startsWith(header)) {
        return false;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QList<QByteArray> lines = text.mid(header.size()).split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty()) {
            continue;
        }
        const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(line);
        if (parsed.size() != 1 || parsed.first().isSessionCookie() || parsed.first().domain().isEmpty()) {
            return false;
        }
        // Those that expired while the program was not running are simply gone.
        if (parsed.first().expirationDate() > now) {
            cookies->append(parsed.first());
        }
    }
    return true;
}

void KeptCookieJar::load()
{
    QFile file(m_path);
    if (!file.exists() && !QFileInfo(m_path).isSymLink()) {
        return;
    }
    QList<QNetworkCookie> cookies;
    QByteArray text;
    const bool opened = file.open(QIODevice::ReadOnly);
    if (opened) {
        text = file.readAll();
    }
    if (opened && file.error() == QFileDevice::NoError && parse(text, &cookies)) {
        setAllCookies(cookies);
        m_written = text;
        return;
    }
    file.close();
    const QString copy = ProfileStore::keepAside(m_path);
    if (copy.isEmpty()) {
        qCWarning(lcStore) << "cookies: cannot read" << m_path
                           << "nor keep it aside; cookies are not kept this time:" << file.errorString();
        m_readOnly = true;
        return;
    }
    // Set aside: the next start finds no file rather than the same unreadable one.
    QFile::remove(m_path);
    qCWarning(lcStore) << "cookies: cannot read" << m_path << "; its bytes are kept in" << copy;
}

bool KeptCookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url)
{
    const bool changed = QNetworkCookieJar::setCookiesFromUrl(cookies, url);
    m_changed = m_changed || changed;
    if (!m_path.isEmpty() && !m_readOnly && !m_saveSoon.isActive()) {
        m_saveSoon.start();
    }
    return changed;
}

bool KeptCookieJar::save()
{
    m_saveSoon.stop();
    if (m_path.isEmpty() || m_readOnly) {
        return true;
    }
    // A jar that took no cookie leaves the file as it found it.
    if (!std::exchange(m_changed, false)) {
        return true;
    }
    const QByteArray text = serialize(allCookies());
    if (text == m_written || (m_written.isEmpty() && text == header)) {
        return true;
    }
    QSaveFile file(m_path);
    // Logins are secrets: the file is for its owner only, whatever an earlier one allowed.
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(text) != text.size() || !file.flush() || !file.commit()) {
        qCWarning(lcStore) << "cookies: cannot write" << m_path << file.errorString();
        return false;
    }
    m_written = text;
    return true;
}
