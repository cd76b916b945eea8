// SPDX-License-Identifier: MIT
// libcups, with the libraries it brings (GnuTLS, Kerberos, Avahi), takes a program about
// 9 ms to load, as long as the rest of its start-up beside Qt, and most jobs never talk to
// cupsd. So the control is not linked with it: the functions it uses are defined here,
// and the first call of any of them opens libcups.so.2 and calls its namesake there.
// Should libcups not load, each answers as it does when cupsd cannot be reached: no
// connection, no response, an internal error.
// The PPD functions are deprecated, but a queue's PPD is what tells its resolution.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <dlfcn.h>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

namespace {

void* cupsLibrary() {
    static void* const library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    return library;
}

template <typename Function>
Function* loaded(const char* name) {
    void* const library = cupsLibrary();
    return library != nullptr ? reinterpret_cast<Function*>(::dlsym(library, name)) : nullptr;
}

}  // namespace

// `name` with its parameters and arguments, and what it answers without libcups.
#define CUPS_FUNCTION(result, name, parameters, arguments, withoutCups)         \
    result name parameters {                                                    \
        static auto* const function = loaded<decltype(name)>(#name);           \
        return function != nullptr ? function arguments : (withoutCups);        \
    }
#define CUPS_PROCEDURE(name, parameters, arguments)                            \
    void name parameters {                                                      \
        static auto* const function = loaded<decltype(name)>(#name);           \
        if (function != nullptr) function arguments;                            \
    }

extern "C" {

// Connections and requests.
CUPS_FUNCTION(http_t*, httpConnect2,
              (const char* host, int port, http_addrlist_t* addrlist, int family, http_encryption_t encryption,
               int blocking, int msec, int* cancel),
              (host, port, addrlist, family, encryption, blocking, msec, cancel), nullptr)
CUPS_PROCEDURE(httpClose, (http_t* http), (http))
CUPS_PROCEDURE(httpSetTimeout, (http_t* http, double timeout, http_timeout_cb_t cb, void* user_data),
               (http, timeout, cb, user_data))
CUPS_FUNCTION(http_uri_status_t, httpAssembleURI,
              (http_uri_coding_t encoding, char* uri, int urilen, const char* scheme, const char* username,
               const char* host, int port, const char* resource),
              (encoding, uri, urilen, scheme, username, host, port, resource), HTTP_URI_STATUS_BAD_ARGUMENTS)
CUPS_FUNCTION(const char*, cupsServer, (void), (), "localhost")
CUPS_FUNCTION(int, ippPort, (void), (), 631)
CUPS_FUNCTION(http_encryption_t, cupsEncryption, (void), (), HTTP_ENCRYPTION_IF_REQUESTED)
CUPS_FUNCTION(const char*, cupsUser, (void), (), "")
CUPS_FUNCTION(ipp_status_t, cupsLastError, (void), (), IPP_STATUS_ERROR_INTERNAL)
CUPS_FUNCTION(ipp_t*, cupsDoRequest, (http_t* http, ipp_t* request, const char* resource),
              (http, request, resource), nullptr)
CUPS_FUNCTION(http_status_t, cupsGetFd, (http_t* http, const char* resource, int fd), (http, resource, fd),
              HTTP_STATUS_ERROR)
CUPS_FUNCTION(http_status_t, cupsStartDocument,
              (http_t* http, const char* name, int job_id, const char* docname, const char* format,
               int last_document),
              (http, name, job_id, docname, format, last_document), HTTP_STATUS_ERROR)
CUPS_FUNCTION(http_status_t, cupsWriteRequestData, (http_t* http, const char* buffer, size_t length),
              (http, buffer, length), HTTP_STATUS_ERROR)
CUPS_FUNCTION(ipp_t*, cupsGetResponse, (http_t* http, const char* resource), (http, resource), nullptr)
CUPS_FUNCTION(int, cupsTempFd, (char* filename, int len), (filename, len), -1)

// Job options.
CUPS_FUNCTION(int, cupsAddOption, (const char* name, const char* value, int num_options, cups_option_t** options),
              (name, value, num_options, options), num_options)
CUPS_PROCEDURE(cupsEncodeOptions2, (ipp_t* ipp, int num_options, cups_option_t* options, ipp_tag_t group_tag),
               (ipp, num_options, options, group_tag))
CUPS_PROCEDURE(cupsFreeOptions, (int num_options, cups_option_t* options), (num_options, options))

// IPP messages.
CUPS_FUNCTION(ipp_t*, ippNewRequest, (ipp_op_t op), (op), nullptr)
CUPS_PROCEDURE(ippDelete, (ipp_t* ipp), (ipp))
CUPS_FUNCTION(ipp_attribute_t*, ippAddInteger,
              (ipp_t* ipp, ipp_tag_t group, ipp_tag_t value_tag, const char* name, int value),
              (ipp, group, value_tag, name, value), nullptr)
CUPS_FUNCTION(ipp_attribute_t*, ippAddString,
              (ipp_t* ipp, ipp_tag_t group, ipp_tag_t value_tag, const char* name, const char* language,
               const char* value),
              (ipp, group, value_tag, name, language, value), nullptr)
CUPS_FUNCTION(ipp_attribute_t*, ippAddStrings,
              (ipp_t* ipp, ipp_tag_t group, ipp_tag_t value_tag, const char* name, int num_values,
               const char* language, const char* const* values),
              (ipp, group, value_tag, name, num_values, language, values), nullptr)
CUPS_FUNCTION(ipp_attribute_t*, ippFindAttribute, (ipp_t* ipp, const char* name, ipp_tag_t value_tag),
              (ipp, name, value_tag), nullptr)
CUPS_FUNCTION(ipp_attribute_t*, ippFirstAttribute, (ipp_t* ipp), (ipp), nullptr)
CUPS_FUNCTION(ipp_attribute_t*, ippNextAttribute, (ipp_t* ipp), (ipp), nullptr)
CUPS_FUNCTION(const char*, ippGetName, (ipp_attribute_t* attr), (attr), nullptr)
CUPS_FUNCTION(ipp_tag_t, ippGetGroupTag, (ipp_attribute_t* attr), (attr), IPP_TAG_ZERO)
CUPS_FUNCTION(int, ippGetCount, (ipp_attribute_t* attr), (attr), 0)
CUPS_FUNCTION(int, ippGetBoolean, (ipp_attribute_t* attr, int element), (attr, element), 0)
CUPS_FUNCTION(ipp_status_t, ippGetStatusCode, (ipp_t* ipp), (ipp), IPP_STATUS_ERROR_INTERNAL)
CUPS_FUNCTION(int, ippGetInteger, (ipp_attribute_t* attr, int element), (attr, element), 0)
CUPS_FUNCTION(int, ippGetRange, (ipp_attribute_t* attr, int element, int* upper), (attr, element, upper), 0)
CUPS_FUNCTION(int, ippGetResolution, (ipp_attribute_t* attr, int element, int* yres, ipp_res_t* units),
              (attr, element, yres, units), 0)
CUPS_FUNCTION(const char*, ippGetString, (ipp_attribute_t* attr, int element, const char** language),
              (attr, element, language), nullptr)

// PPD files and media sizes.
CUPS_FUNCTION(ppd_file_t*, ppdOpenFd, (int fd), (fd), nullptr)
CUPS_PROCEDURE(ppdClose, (ppd_file_t* ppd), (ppd))
CUPS_PROCEDURE(ppdMarkDefaults, (ppd_file_t* ppd), (ppd))
CUPS_FUNCTION(ppd_attr_t*, ppdFindAttr, (ppd_file_t* ppd, const char* name, const char* specifier),
              (ppd, name, specifier), nullptr)
CUPS_FUNCTION(ppd_attr_t*, ppdFindNextAttr, (ppd_file_t* ppd, const char* name, const char* specifier),
              (ppd, name, specifier), nullptr)
CUPS_FUNCTION(int, pwgFormatSizeName,
              (char* keyword, size_t keysize, const char* prefix, const char* name, int width, int length,
               const char* units),
              (keyword, keysize, prefix, name, width, length, units), 0)
CUPS_FUNCTION(pwg_media_t*, pwgMediaForPWG, (const char* pwg), (pwg), nullptr)
CUPS_FUNCTION(pwg_media_t*, pwgMediaForSize, (int width, int length), (width, length), nullptr)

// CUPS raster.
CUPS_FUNCTION(int, cupsRasterInitPWGHeader,
              (cups_page_header2_t* h, pwg_media_t* media, const char* type, int xdpi, int ydpi,
               const char* sides, const char* sheet_back),
              (h, media, type, xdpi, ydpi, sides, sheet_back), 0)
CUPS_FUNCTION(int, cupsRasterInterpretPPD,
              (cups_page_header2_t* h, ppd_file_t* ppd, int num_options, cups_option_t* options,
               cups_interpret_cb_t func),
              (h, ppd, num_options, options, func), -1)
CUPS_FUNCTION(cups_raster_t*, cupsRasterOpenIO, (cups_raster_iocb_t iocb, void* ctx, cups_mode_t mode),
              (iocb, ctx, mode), nullptr)
CUPS_FUNCTION(unsigned, cupsRasterWriteHeader2, (cups_raster_t* r, cups_page_header2_t* h), (r, h), 0)
CUPS_FUNCTION(unsigned, cupsRasterWritePixels, (cups_raster_t* r, unsigned char* p, unsigned len), (r, p, len), 0)
CUPS_PROCEDURE(cupsRasterClose, (cups_raster_t* r), (r))

}  // extern "C"
