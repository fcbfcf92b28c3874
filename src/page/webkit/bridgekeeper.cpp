#include "page/webkit/bridgekeeper.h"

#include "page/webkit/delegate.h"

#include <utility>

BridgeKeeper::~BridgeKeeper()
{
    releaseRetired();
    delete m_current;
}

void BridgeKeeper::adopt(Delegate *bridge)
{
    if (m_current) {
        m_current->disconnect();
        m_retired.append(m_current);
    }
    m_current = bridge;
    if (m_deliveries == 0) {
        releaseRetired();
    }
}

int BridgeKeeper::liveCount() const
{
    int count = m_current ? 1 : 0;
    for (const QPointer<Delegate> &bridge : m_retired) {
        count += bridge ? 1 : 0;
    }
    return count;
}

void BridgeKeeper::releaseRetired()
{
    const QList<QPointer<Delegate>> retired = std::exchange(m_retired, {});
    for (const QPointer<Delegate> &bridge : retired) {
        delete bridge.data();
    }
}

BridgeKeeper::Delivery::Delivery(BridgeKeeper &keeper)
    : m_keeper(keeper)
{
    ++m_keeper.m_deliveries;
}

BridgeKeeper::Delivery::~Delivery()
{
    if (--m_keeper.m_deliveries == 0) {
        m_keeper.releaseRetired();
    }
}

BridgeKeeper::SelfTest::SelfTest(BridgeKeeper &keeper)
    : m_keeper(keeper)
{
    m_keeper.m_selfTest = true;
}

BridgeKeeper::SelfTest::~SelfTest()
{
    m_keeper.m_selfTest = false;
}
