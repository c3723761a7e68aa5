#include "TlsPairGenerator.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

void freeBio(BIO* bio)
{
    BIO_free(bio);
}

using Key = Owned<EVP_PKEY, EVP_PKEY_free>;
using KeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using Certificate = Owned<X509, X509_free>;
using Extension = Owned<X509_EXTENSION, X509_EXTENSION_free>;
using Memory = Owned<BIO, freeBio>;
using Number = Owned<BIGNUM, BN_free>;

QString lastError(const char* step)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QStringLiteral("%1 failed: %2").arg(QLatin1String(step), QLatin1String(text));
}

QByteArray pem(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<int>(size));
}

Key ecKey()
{
    KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 || EVP_PKEY_CTX_set_group_name(context.get(), "P-256") <= 0
        || EVP_PKEY_generate(context.get(), &key) <= 0)
        return nullptr;
    return Key(key);
}

bool addExtension(X509* certificate, int nid, const QByteArray& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData()));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

} // namespace

bool TlsPairGenerator::generate(const QString& commonName, const QStringList& dnsNames, const QList<QHostAddress>& addresses, int validDays, Pair* pair,
                                QString* error)
{
    const Key key = ecKey();
    if (!key) {
        *error = lastError("Key generation");
        return false;
    }
    const Certificate certificate(X509_new());
    // A random 127-bit serial: no two generated certificates share one.
    const Number serial(BN_new());
    if (!certificate || !serial || !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)
        || !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) || !X509_set_version(certificate.get(), 2)) {
        *error = lastError("Certificate set-up");
        return false;
    }
    // From an hour back, for clients whose clock runs a little behind, for validDays in all.
    time_t now = std::time(nullptr);
    X509_time_adj_ex(X509_getm_notBefore(certificate.get()), 0, -3600, &now);
    X509_time_adj_ex(X509_getm_notAfter(certificate.get()), validDays, -3600, &now);

    X509_NAME* name = X509_get_subject_name(certificate.get());
    const QByteArray cn = commonName.left(64).toUtf8();
    if (!X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.constData()), -1, -1, 0)
        || !X509_set_issuer_name(certificate.get(), name) || !X509_set_pubkey(certificate.get(), key.get())) {
        *error = lastError("Certificate name");
        return false;
    }

    QByteArrayList altNames;
    for (const QString& dns : dnsNames)
        altNames << "DNS:" + dns.toLatin1();
    for (const QHostAddress& address : addresses)
        altNames << "IP:" + address.toString().toLatin1();
    if (!addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE")
        || !addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature")
        || !addExtension(certificate.get(), NID_ext_key_usage, "serverAuth") || !addExtension(certificate.get(), NID_subject_key_identifier, "hash")
        || !addExtension(certificate.get(), NID_subject_alt_name, altNames.join(','))) {
        *error = lastError("Certificate extensions");
        return false;
    }
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) {
        *error = lastError("Signing");
        return false;
    }

    const Memory certificateOut(BIO_new(BIO_s_mem()));
    const Memory keyOut(BIO_new(BIO_s_mem()));
    if (!certificateOut || !keyOut || !PEM_write_bio_X509(certificateOut.get(), certificate.get())
        || !PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr)) {
        *error = lastError("Writing PEM");
        return false;
    }
    pair->certificatePem = pem(certificateOut.get());
    pair->privateKeyPem = pem(keyOut.get());
    return true;
}

bool TlsPairGenerator::belongTogether(const QByteArray& certificatePem, const QByteArray& privateKeyPem)
{
    const Memory certificateIn(BIO_new_mem_buf(certificatePem.constData(), certificatePem.size()));
    const Memory keyIn(BIO_new_mem_buf(privateKeyPem.constData(), privateKeyPem.size()));
    if (!certificateIn || !keyIn)
        return false;
    const Certificate certificate(PEM_read_bio_X509(certificateIn.get(), nullptr, nullptr, nullptr));
    const Key key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    const bool together = certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1;
    ERR_clear_error();
    return together;
}
