// SPDX-License-Identifier: Apache-2.0
/* A C11 host: the public header must compile as C, and its declarations must match the
 * library's exports closely enough to call them. */
#include <stdio.h>
#include <string.h>

#include "quorvanta_core.h"

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
    static const uint8_t expected_prefix[] = {1, 0, 0, 0, 4, 's', 'p', 'o', '2'};

    CHECK(ffi_quorvanta_core_uniffi_contract_version() == 26);

    info = uniffi_quorvanta_core_fn_func_get_vital_info(text_buffer("spo2"), &status);
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
