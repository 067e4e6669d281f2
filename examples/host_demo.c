// SPDX-License-Identifier: Apache-2.0
/* A small native host of quorvanta_core: looks up display data in the vital registry and derives
 * regions of interest from a face box, all through the C interface and its encoded buffers. */
#include <stdio.h>
#include <string.h>

#include "quorvanta_core.h"

/* A tiny big-endian encoder and decoder for the values this host exchanges. */
typedef struct {
    uint8_t bytes[64];
    int32_t len;
} Encoder;

static void put_u32(Encoder* e, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        e->bytes[e->len++] = (uint8_t)(v >> shift);
}

static void put_f32(Encoder* e, float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    put_u32(e, bits);
}

static RustBuffer to_buffer(const Encoder* e) {
    RustCallStatus status = {0};
    ForeignBytes view = {e->len, e->bytes};
    return ffi_quorvanta_core_rustbuffer_from_bytes(view, &status);
}

static uint32_t get_u32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static float get_f32(const uint8_t* p) {
    uint32_t bits = get_u32(p);
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

static void release(RustBuffer buf) {
    RustCallStatus status = {0};
    ffi_quorvanta_core_rustbuffer_free(buf, &status);
}

/* Reports a failed call and frees its message; returns nonzero on failure. */
static int failed(RustCallStatus* status) {
    if (status->code == 0) return 0;
    fprintf(stderr, "call failed: %.*s\n", (int)status->error_buf.len, status->error_buf.data);
    release(status->error_buf);
    return 1;
}

static const int widths[] = {22, 34, 9, 10, 9, 0};

static int print_vital(const char* name) {
    Encoder id = {.len = 0};
    RustCallStatus status = {0};
    memcpy(id.bytes, name, strlen(name));
    id.len = (int32_t)strlen(name);
    RustBuffer info = uniffi_quorvanta_core_fn_func_get_vital_info(to_buffer(&id), &status);
    if (failed(&status)) return 1;
    printf("%-16s", name);
    if (info.data[0] == 0) {
        printf("(not in the registry)\n");
    } else {
        const uint8_t* p = info.data + 1;
        for (int field = 0; field < 6; ++field) {
            uint32_t n = get_u32(p);
            printf("%-*.*s", widths[field], (int)n, (const char*)p + 4);
            p += 4 + n;
        }
        printf("\n");
    }
    release(info);
    return 0;
}

static int print_roi(const char* label, int32_t method, int32_t detector) {
    Encoder face = {.len = 0}, method_arg = {.len = 0}, detector_arg = {.len = 0};
    Encoder width = {.len = 0}, height = {.len = 0};
    RustCallStatus status = {0};
    put_f32(&face, 500.0f);
    put_f32(&face, 300.0f);
    put_f32(&face, 220.0f);
    put_f32(&face, 260.0f);
    put_u32(&method_arg, (uint32_t)method);
    put_u32(&detector_arg, (uint32_t)detector);
    width.bytes[width.len++] = 1;
    put_f32(&width, 1280.0f);
    height.bytes[height.len++] = 1;
    put_f32(&height, 720.0f);

    RustBuffer roi = uniffi_quorvanta_core_fn_func_calculate_roi(
        to_buffer(&face), to_buffer(&method_arg), to_buffer(&detector_arg), to_buffer(&width),
        to_buffer(&height), 1, &status);
    if (failed(&status)) return 1;
    printf("%-40s x=%6.1f y=%6.1f width=%6.1f height=%6.1f\n", label, get_f32(roi.data),
           get_f32(roi.data + 4), get_f32(roi.data + 8), get_f32(roi.data + 12));
    release(roi);
    return 0;
}

int main(void) {
    static const char* names[] = {"hr",    "rr",     "spo2",       "sdnn",     "rmssd",
                                  "lfhf",  "si",     "resp_ie",    "systolic", "diastolic",
                                  "map",   "pp",     "ppg",        "resp",     "abp_waveform",
                                  "pnn50", "sd1sd2", "blood_sugar"};
    static const char* methods[] = {"face", "forehead", "upper body", "upper body (cropped)"};
    int errors = 0;

    printf("quorvanta_core C interface, contract version %u\n\n",
           (unsigned)ffi_quorvanta_core_uniffi_contract_version());
    printf("%-16s%-22s%-34s%-9s%-10s%-9s%s\n", "name", "id", "display name", "short", "unit",
           "colour", "emoji");
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        errors += print_vital(names[i]);

    printf(
        "\nRegions of interest for a face box (500, 300, 220, 260) in a 1280x720 frame,\n"
        "rounded to even sizes:\n");
    for (int32_t m = 0; m < 4; ++m) {
        char label[64];
        snprintf(label, sizeof label, "%s", methods[m]);
        errors += print_roi(label, m + 1, 1);
        snprintf(label, sizeof label, "%s, Apple Vision box", methods[m]);
        errors += print_roi(label, m + 1, 2);
    }
    return errors == 0 ? 0 : 1;
}
