#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

struct Module;
class MainView;
class RouterSocket;
class EventPump;

// The one way to the router: one HTTP exchange at a time over `sckSend`, the whole response
// collected in Module::RouterResponse.
class RouterLink : public QObject {
    Q_OBJECT
public:
    RouterLink(Module& module, MainView& view, RouterSocket& sckSend, EventPump& pump,
               QObject* parent = nullptr);

    // True when the router answered and closed in time; the window is then still locked and
    // the caller unlocks it. False after "Failed", with the window unlocked again.
    bool SendRouterRequest(const QString& sRequestLine, const QString& sActivity,
                           bool bPageRequest);

    void ShowStatus(int state);
    void DataArrival(qint64 bytesTotal);
    void WaitSeconds(int seconds);

    // The request bytes of one exchange, CR alone between lines.
    QByteArray BuildRequest(const QString& sRequestLine, bool bPageRequest) const;

private:
    Module& module_;
    MainView& view_;
    RouterSocket& sckSend_;
    EventPump& pump_;
};

// The text with every space removed; the scanners search the response this way.
QByteArray RemoveSpaces(const QByteArray& text);
QString RemoveSpaces(const QString& text);
