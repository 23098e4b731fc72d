#pragma once

#include <QString>

#include <memory>

struct ssl_ctx_st;

struct MqttTlsContextFree {
    void operator()(ssl_ctx_st *context) const;
};
using MqttTlsContext = std::unique_ptr<ssl_ctx_st, MqttTlsContextFree>;

// What the handshakes of a context made of the broker's certificate.
struct MqttTlsVerdict {
    int error = 0; // OpenSSL's first verification error; 0 while every certificate was taken
    // Why the certificate was refused; empty when it was not.
    QString refusal() const;
};

// A TLS context (TLS 1.2 or later) for one connection that trusts the CA file's certificates and
// checks the broker's certificate against the broker's configured name (a host name or an
// address), whatever address the socket was opened to; a host name is also what the server is
// told it is asked for (SNI). The connection opens its socket to a numeric address, so the
// library's own check would compare the certificate with that address instead.
// A refusal is noted in `verdict`, which must outlive every handshake of the context. Null, with
// the reason, when OpenSSL cannot make one.
MqttTlsContext makeMqttTlsContext(const QString &brokerName, const QString &caFile,
                                  MqttTlsVerdict *verdict, QString *error);
