#include "web_poster.h"

#include "clock.h"
#include "command_interpreter.h"
#include "live_reading.h"
#include "web_logging.h"

#include <QTcpSocket>

WebPoster::WebPoster(const LiveReading &reading, Clock &clock, const LinkFlags &flags,
                     LoadSwitchFlags &loadSwitch, QObject *parent)
    : QObject(parent),
      reading_(reading),
      clock_(clock),
      loadSwitch_(loadSwitch),
      trigger_(clock, flags, this),
      log_(this),
      connectTimeout_(clock.createTimer(this))
{
    connectTimeout_->setSingleShot(true);
    connect(connectTimeout_.get(), &ClockTimer::timeout, this, [this] {
        qCInfo(lcWeb) << "no connection within" << kConnectTimeoutMs << "ms; attempt dropped";
        dropSocket();
    });
}

WebPoster::~WebPoster()
{
    dropSocket();
}

WebPostingSettings WebPoster::currentSettings() const
{
    return settings ? settings() : WebPostingSettings{};
}

bool WebPoster::connecting() const
{
    return socket_ && socket_->state() != QAbstractSocket::ConnectedState
           && socket_->state() != QAbstractSocket::UnconnectedState;
}

void WebPoster::packetDecoded()
{
    emit runStarted();
    const WebPostingSettings s = currentSettings();
    // The text a load switch added is replaced by the run's own naming of the post.
    loadSwitch_.triggerSource.clear();
    const auto row = trigger_.run(reading_, s.thresholds, loadSwitch_.loadChanged);
    if (!row)
        return;
    qCInfo(lcWeb) << "post:" << row->triggerSource << row->change1 << row->change2;
    log_.insertPost(*row);
    if (pushReadings)
        pushReadings();
    if (!s.writeEnable)
        return;
    connectToService();
    // The bar fills at once: stepping it through every percent would only repaint it 100 times.
    emit progressChanged(100);
}

void WebPoster::postNow()
{
    connectToService();
}

void WebPoster::dropSocket()
{
    connectTimeout_->stop();
    if (!socket_)
        return;
    QTcpSocket *old = socket_;
    socket_ = nullptr;
    old->disconnect(this);
    // A sent request still goes out before the connection closes; an attempt still connecting
    // is given up at once.
    if (old->state() == QAbstractSocket::ConnectedState) {
        connect(old, &QAbstractSocket::disconnected, old, &QObject::deleteLater);
        old->disconnectFromHost();
        if (old->state() == QAbstractSocket::UnconnectedState)
            old->deleteLater();
    } else {
        old->abort();
        old->deleteLater();
    }
}

void WebPoster::connectToService()
{
    dropSocket();
    const auto host = PostRequest::parseWebHost(currentSettings().request.webHost);
    if (!host) {
        qCInfo(lcWeb) << "WebHost" << currentSettings().request.webHost << "is no host; no post";
        return;
    }
    auto *socket = new QTcpSocket(this);
    socket->setReadBufferSize(4096); // the answer is never read; it need not pile up
    socket_ = socket;
    connect(socket, &QAbstractSocket::connected, this, [this, socket] { sendRequest(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket](auto error) {
        qCInfo(lcWeb) << "post connection ended:" << error;
        if (socket == socket_)
            dropSocket();
    });
    connectTimeout_->start(kConnectTimeoutMs);
    qCInfo(lcWeb) << "connecting to" << host->name << host->port;
    socket->connectToHost(host->name, host->port);
}

void WebPoster::sendRequest(QTcpSocket *socket)
{
    connectTimeout_->stop();
    const WebPostingSettings s = currentSettings();
    const QByteArray request = PostRequest::build(reading_, s.request, s.loadData, clock_.now());
    socket->write(request);
    emit requestSent(request);
}
