#include "platform/TlsContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdlib>

TlsContext::TlsContext()
{
    context_ = SSL_CTX_new(TLS_client_method());
    if (context_ == nullptr)
        return;
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(context_);
    const char* caFile = std::getenv("ORVSIP_TLS_CA_FILE");
    if (caFile != nullptr && *caFile != '\0' && SSL_CTX_load_verify_locations(context_, caFile, nullptr) != 1) {
        caFileProblem_ = std::string("the CA file ") + caFile + " cannot be read";
        ERR_clear_error();
    }
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(context_);
}
