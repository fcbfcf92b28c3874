#pragma once

#include <QList>
#include <QPointer>

class Delegate;

// Owns the bridge objects published to pages and keeps only the current one alive. A page can
// be replaced while a signal of its bridge is still being delivered (the field menu is open inside
// the click); that bridge is destroyed as soon as the delivery has returned, never under it.
class BridgeKeeper
{
public:
    BridgeKeeper() = default;
    BridgeKeeper(const BridgeKeeper &) = delete;
    BridgeKeeper &operator=(const BridgeKeeper &) = delete;
    ~BridgeKeeper();

    // Takes ownership of the newly published bridge and retires the previous one.
    void adopt(Delegate *bridge);

    // Marks a signal delivery from a bridge for as long as the returned guard lives.
    class Delivery
    {
    public:
        explicit Delivery(BridgeKeeper &keeper);
        Delivery(const Delivery &) = delete;
        Delivery &operator=(const Delivery &) = delete;
        ~Delivery();

    private:
        BridgeKeeper &m_keeper;
    };

    // The bridge's own call made while it is being published, as opposed to one from the page.
    class SelfTest
    {
    public:
        explicit SelfTest(BridgeKeeper &keeper);
        SelfTest(const SelfTest &) = delete;
        SelfTest &operator=(const SelfTest &) = delete;
        ~SelfTest();

    private:
        BridgeKeeper &m_keeper;
    };
    bool selfTestRunning() const { return m_selfTest; }

    // Bridge objects alive, the current one included.
    int liveCount() const;

private:
    void releaseRetired();

    QPointer<Delegate> m_current;
    QList<QPointer<Delegate>> m_retired;
    int m_deliveries = 0;
    bool m_selfTest = false;
};
