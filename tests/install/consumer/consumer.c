// SPDX-License-Identifier: Apache-2.0
/* A C11 host, built against the build tree and against an installed copy: the public header must
 * compile as C, and its declarations must match the library's exports closely enough to call
 * them. */
#include <quorvanta_core.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

static RustBuffer text_buffer(const char* text) {
    RustCallStatus status = {0};
    ForeignBytes bytes = {(int32_t)strlen(text), (const uint8_t*)text};
    return ffi_quorvanta_core_rustbuffer_from_bytes(bytes, &status);
}

int main(void) {
    RustCallStatus status = {0};
    RustBuffer info;
    /* Some(VitalDisplayMeta) whose id, the first field, is "respiratory_rate". */
    static const uint8_t expected_prefix[] = {1,   0,   0,   0,   16,  'r', 'e', 's', 'p', 'i', 'r',
                                              'a', 't', 'o', 'r', 'y', '_', 'r', 'a', 't', 'e'};

    CHECK(ffi_quorvanta_core_uniffi_contract_version() == 26);

    info = uniffi_quorvanta_core_fn_func_get_vital_info(text_buffer("rr"), &status);
    CHECK(status.code == QUORVANTA_CALL_SUCCESS);
    CHECK(info.len > sizeof expected_prefix);
    CHECK(info.data != NULL && memcmp(info.data, expected_prefix, sizeof expected_prefix) == 0);
    ffi_quorvanta_core_rustbuffer_free(info, &status);

    uniffi_quorvanta_core_fn_free_session(NULL, &status);
    CHECK(status.code == QUORVANTA_CALL_UNEXPECTED_ERROR);
    ffi_quorvanta_core_rustbuffer_free(status.error_buf, &status);

    if (failures == 0) puts("C host: all checks passed");
    return failures == 0 ? 0 : 1;
}
