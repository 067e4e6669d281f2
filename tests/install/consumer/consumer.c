// SPDX-License-Identifier: Apache-2.0
/* A consumer of the installed library: checks the contract version and looks up a vital sign by
 * its alias in the registry. */
#include <quorvanta_core.h>
#include <stdio.h>
#include <string.h>

static uint32_t read_u32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

/* Whether an encoded optional VitalDisplayMeta is present with `id` as its first field. */
static int has_id(RustBuffer info, const char* id) {
    size_t n = strlen(id);
    return info.len >= 5 + n && info.data[0] == 1 && read_u32(info.data + 1) == n &&
           memcmp(info.data + 5, id, n) == 0;
}

int main(void) {
    static const char alias[] = "rr";
    RustCallStatus status = {0};
    ForeignBytes bytes = {(int32_t)strlen(alias), (const uint8_t*)alias};
    RustBuffer name = ffi_quorvanta_core_rustbuffer_from_bytes(bytes, &status);
    RustBuffer info = uniffi_quorvanta_core_fn_func_get_vital_info(name, &status);
    int found = status.code == 0 && has_id(info, "respiratory_rate");
    ffi_quorvanta_core_rustbuffer_free(info, &status);

    unsigned contract = ffi_quorvanta_core_uniffi_contract_version();
    printf("contract version %u, '%s' %s\n", contract, alias,
           found ? "is respiratory_rate" : "not found");
    return contract == 26 && found && status.code == 0 ? 0 : 1;
}
