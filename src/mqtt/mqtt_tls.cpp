#include "mqtt_tls.h"

#include "mqtt_logging.h"

#include <QFile>
#include <QHostAddress>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

QString openSslError()
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}

// The library names the numeric address it connects to; the server hears the configured name
// instead, so a broker behind a name-based TLS proxy still finds its certificate. The context's
// verification parameters hold that name (set below), and no hello has been sent yet here.
void nameTheServer(const SSL *ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_START))
        return;
    SSL *s = const_cast<SSL *>(ssl);
    if (const char *host = X509_VERIFY_PARAM_get0_host(SSL_get0_param(s), 0))
        SSL_set_tlsext_host_name(s, host);
}

bool expectName(SSL_CTX *context, const QString &brokerName)
{
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(context);
    const QByteArray name = brokerName.toUtf8();
    if (!QHostAddress(brokerName).isNull())
        return X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) == 1;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (X509_VERIFY_PARAM_set1_host(param, name.constData(), size_t(name.size())) != 1)
        return false;
    SSL_CTX_set_info_callback(context, nameTheServer);
    return true;
}

// OpenSSL's own verdict stands; the first reason to refuse is kept for the status log.
int noteVerdict(int ok, X509_STORE_CTX *store)
{
    if (ok)
        return ok;
    const auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *verdict = ssl ? static_cast<MqttTlsVerdict *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl))) : nullptr;
    if (verdict && verdict->error == X509_V_OK)
        verdict->error = X509_STORE_CTX_get_error(store);
    qCDebug(lcMqtt) << "certificate refused:" << X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
    return ok;
}

} // namespace

QString MqttTlsVerdict::refusal() const
{
    if (error == X509_V_OK)
        return {};
    return QStringLiteral("the broker's certificate is refused (%1)")
        .arg(QString::fromLatin1(X509_verify_cert_error_string(error)));
}

void MqttTlsContextFree::operator()(ssl_ctx_st *context) const
{
    SSL_CTX_free(context);
}

MqttTlsContext makeMqttTlsContext(const QString &brokerName, const QString &caFile,
                                  MqttTlsVerdict *verdict, QString *error)
{
    MqttTlsContext context(SSL_CTX_new(TLS_client_method()));
    if (!context) {
        *error = QStringLiteral("no TLS context: %1").arg(openSslError());
        return {};
    }
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    if (SSL_CTX_load_verify_locations(context.get(), QFile::encodeName(caFile).constData(), nullptr) != 1) {
        *error = QStringLiteral("CaFile \"%1\" holds no certificate: %2").arg(caFile, openSslError());
        return {};
    }
    if (!expectName(context.get(), brokerName)) {
        *error = QStringLiteral("the name %1 cannot be checked in a certificate").arg(brokerName);
        return {};
    }
    *verdict = {};
    SSL_CTX_set_app_data(context.get(), verdict);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, noteVerdict);
    qCDebug(lcMqtt) << "the certificate must name" << brokerName;
    return context;
}
