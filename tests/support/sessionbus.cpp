// Linked into every test program: a test talks to the session bus with-secret-store.sh started for
// it, or to none, never to the desktop's, even when started by hand outside CTest. Without this a
// test run in a desktop session would write into and lock the user's own keyring.
//
// with-secret-store.sh names its private bus in KAKIKOMI_TEST_BUS. Any other address, and no
// address at all (the bus library would then look for the desktop's bus itself), is replaced by one
// that leads nowhere, before anything in the program reaches for the bus. Programs the tests start
// inherit it.

#include <QByteArray>
#include <QtGlobal>

namespace {

struct OwnSessionBus
{
    OwnSessionBus()
    {
        const QByteArray own = qgetenv("KAKIKOMI_TEST_BUS");
        if (!own.isEmpty() && own == qgetenv("DBUS_SESSION_BUS_ADDRESS")) {
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArrayLiteral(KAKIKOMI_NO_SESSION_BUS));
        // A program started by a bus takes that bus as its session bus.
        qunsetenv("DBUS_STARTER_ADDRESS");
        qunsetenv("DBUS_STARTER_BUS_TYPE");
    }
};

const OwnSessionBus ownSessionBus;

} // namespace
