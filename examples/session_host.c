// SPDX-License-Identifier: Apache-2.0
/* A complete native host of a quorvanta_core Session, using nothing but quorvanta_core.h.
 *
 * It streams 20 s of synthetic model output (a 72 per minute pulse wave and a 15 per minute
 * respiration wave at 30 frames per second) into a session in batches of one second, then prints
 * the vital signs of the last result.
 *
 * It is also a tutorial on who owns what across the C interface:
 *   - The host encodes every value in its own memory, then copies it into a library buffer with
 *     ffi_quorvanta_core_rustbuffer_from_bytes. The host's memory stays the host's.
 *   - A RustBuffer passed as an argument is consumed by the call: the host must not touch or free
 *     it afterwards, whether the call succeeds or fails.
 *   - A RustBuffer returned by a call belongs to the host, which frees it with
 *     ffi_quorvanta_core_rustbuffer_free once it has read it.
 *   - A failed call sets status.code to 2 and hands the host the message in status.error_buf,
 *     which the host frees in the same way.
 *   - A Session handle holds one reference. Every method call consumes one reference of the
 *     handle it is given, so the host clones the handle before each call and passes the clone;
 *     at the end it frees its own reference, which destroys the session.
 */
#include <math.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quorvanta_core.h"

enum { FPS = 30, SECONDS = 20 };
static const double PI = 3.14159265358979323846;
static const double PULSE_HZ = 1.2;        /* 72 beats per minute */
static const double RESPIRATION_HZ = 0.25; /* 15 breaths per minute */

/* ---- Calls: every operation reports through a RustCallStatus. ---- */

/* Returns true when the call succeeded. On failure prints the message and frees the error
 * buffer, which the failed call handed to the host. */
static bool succeeded(RustCallStatus* status, const char* operation) {
    if (status->code == QUORVANTA_CALL_SUCCESS) return true;
    fprintf(stderr, "%s failed: %.*s\n", operation, (int)status->error_buf.len,
            (const char*)status->error_buf.data);
    RustCallStatus free_status = {0};
    ffi_quorvanta_core_rustbuffer_free(status->error_buf, &free_status);
    return false;
}

/* Frees a buffer that a call returned to the host. Freeing an all-zero buffer does nothing. */
static void free_buffer(RustBuffer buffer) {
    RustCallStatus status = {0};
    ffi_quorvanta_core_rustbuffer_free(buffer, &status);
    succeeded(&status, "rustbuffer_free");
}

/* ---- Encoding: values are written big-endian into a growable byte array of the host. ---- */

typedef struct {
    uint8_t* bytes; /* host memory, released with free() */
    size_t len;
    size_t capacity;
} Writer;

static void put_bytes(Writer* w, const void* data, size_t n) {
    if (w->len + n > w->capacity) {
        size_t capacity = w->capacity == 0 ? 256 : w->capacity;
        while (capacity < w->len + n)
            capacity *= 2;
        uint8_t* grown = realloc(w->bytes, capacity);
        if (grown == NULL) {
            perror("realloc");
            exit(EXIT_FAILURE);
        }
        w->bytes = grown;
        w->capacity = capacity;
    }
    memcpy(w->bytes + w->len, data, n);
    w->len += n;
}

static void put_u8(Writer* w, uint8_t v) {
    put_bytes(w, &v, 1);
}

static void put_u32(Writer* w, uint32_t v) {
    const uint8_t bytes[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8),
                              (uint8_t)v};
    put_bytes(w, bytes, sizeof bytes);
}

static void put_u64(Writer* w, uint64_t v) {
    put_u32(w, (uint32_t)(v >> 32));
    put_u32(w, (uint32_t)v);
}

static void put_f32(Writer* w, float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    put_u32(w, bits);
}

static void put_f64(Writer* w, double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    put_u64(w, bits);
}

/* A string is its byte count (signed 32-bit) followed by the UTF-8 bytes. */
static void put_string(Writer* w, const char* text) {
    size_t n = strlen(text);
    put_u32(w, (uint32_t)n);
    put_bytes(w, text, n);
}

/* A sequence is its element count (signed 32-bit) followed by the elements. */
static void put_f32_sequence(Writer* w, const float* values, size_t n) {
    put_u32(w, (uint32_t)n);
    for (size_t i = 0; i < n; ++i)
        put_f32(w, values[i]);
}

/* Copies the encoded value into a new library-owned buffer, which the host will hand to exactly
 * one call, and releases the host's own bytes. */
static bool finish(Writer* w, RustBuffer* out) {
    RustCallStatus status = {0};
    ForeignBytes view = {(int32_t)w->len, w->bytes}; /* borrowed for the call only */
    *out = ffi_quorvanta_core_rustbuffer_from_bytes(view, &status);
    free(w->bytes);
    *w = (Writer){0};
    return succeeded(&status, "rustbuffer_from_bytes");
}

/* ---- The values this host sends. ---- */

static bool encode_config(RustBuffer* out) {
    Writer w = {0};
    put_string(&w, "session-host-demo"); /* model_name */
    put_u32(&w, 2);                      /* supported_vitals: a sequence of two strings */
    put_string(&w, "heart_rate");
    put_string(&w, "respiratory_rate");
    put_u8(&w, 0);           /* return_waveforms: absent (tag 0), no waveform outputs */
    put_f32(&w, (float)FPS); /* fps_target */
    put_u64(&w, 72);         /* input_size and n_inputs size the buffer planner; */
    put_u64(&w, 4);          /* the session stores them but does not use them */
    put_string(&w, "face");  /* roi_method */
    return finish(&w, out);
}

/* One entry of the signals map: the id, then a SignalInput holding a sine wave of `hz` sampled at
 * the batch's frame times, every frame with full confidence. */
static void put_signal(Writer* w, const char* id, double hz, const double times[FPS]) {
    float data[FPS], confidence[FPS];
    for (int i = 0; i < FPS; ++i) {
        data[i] = (float)sin(2.0 * PI * hz * times[i]);
        confidence[i] = 1.0f;
    }
    put_string(w, id);
    put_f32_sequence(w, data, FPS);
    put_f32_sequence(w, confidence, FPS);
}

/* The SessionInput of the one-second batch that starts at frame `first`. */
static bool encode_batch(int first, RustBuffer* out) {
    double times[FPS];
    for (int i = 0; i < FPS; ++i)
        times[i] = (double)(first + i) / FPS;

    Writer w = {0};
    put_u8(&w, 0);  /* face: absent */
    put_u32(&w, 2); /* signals: a map of two entries */
    put_signal(&w, "ppg_waveform", PULSE_HZ, times);
    put_signal(&w, "respiratory_waveform", RESPIRATION_HZ, times);
    put_u32(&w, FPS); /* timestamp: one f64 per frame */
    for (int i = 0; i < FPS; ++i)
        put_f64(&w, times[i]);
    return finish(&w, out);
}

/* WaveformMode::Incremental, the enum's first variant: only frames not returned before. */
static bool encode_incremental_mode(RustBuffer* out) {
    Writer w = {0};
    put_u32(&w, 1);
    return finish(&w, out);
}

/* ---- Decoding: reads a returned buffer in place; the buffer stays the host's to free. ---- */

typedef struct {
    const uint8_t* next;
    uint64_t left;
    bool ok; /* false once a read ran past the end or met a negative count */
} Reader;

typedef struct {
    const char* text; /* not terminated */
    int len;
} Text;

static const uint8_t* take(Reader* r, uint64_t n) {
    if (!r->ok || r->left < n) {
        r->ok = false;
        return NULL;
    }
    const uint8_t* start = r->next;
    r->next += n;
    r->left -= n;
    return start;
}

static uint8_t get_u8(Reader* r) {
    const uint8_t* p = take(r, 1);
    return p == NULL ? 0 : p[0];
}

static uint32_t get_u32(Reader* r) {
    const uint8_t* p = take(r, 4);
    return p == NULL ? 0 : (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static float get_f32(Reader* r) {
    uint32_t bits = get_u32(r);
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

/* Counts of strings, sequences and maps are signed 32-bit; a negative one is malformed. */
static uint32_t get_count(Reader* r) {
    uint32_t n = get_u32(r);
    if (n > INT32_MAX) r->ok = false;
    return r->ok ? n : 0;
}

static Text get_string(Reader* r) {
    uint32_t n = get_count(r);
    const uint8_t* p = take(r, n);
    return p == NULL ? (Text){"", 0} : (Text){(const char*)p, (int)n};
}

static void skip_sequence(Reader* r, uint64_t element_size) {
    take(r, get_count(r) * element_size);
}

/* Prints the vitals of a SessionResult and skips the rest, field by field in wire order. */
static bool print_result(RustBuffer result) {
    Reader r = {result.data, result.len, true};

    skip_sequence(&r, 8);  /* timestamp: sequence<f64> of the frames returned */
    if (get_u8(&r) == 1) { /* face: optional FaceResult */
        for (uint32_t boxes = get_count(&r); boxes > 0; --boxes)
            skip_sequence(&r, 4);            /* coordinates: one sequence<f32> per frame */
        skip_sequence(&r, 4);                /* confidence */
        if (get_u8(&r) == 1) get_string(&r); /* note: optional string */
    }
    for (uint32_t waveforms = get_count(&r); waveforms > 0; --waveforms) {
        get_string(&r);       /* id */
        skip_sequence(&r, 4); /* data */
        skip_sequence(&r, 4); /* confidence */
        get_string(&r);       /* unit */
        get_string(&r);       /* note */
    }
    printf("%-18s %7s %-6s %s\n", "vital", "value", "unit", "confidence");
    for (uint32_t vitals = get_count(&r); vitals > 0; --vitals) {
        Text id = get_string(&r);
        float value = get_f32(&r);
        float confidence = get_f32(&r);
        Text unit = get_string(&r);
        get_string(&r); /* note */
        if (r.ok)
            printf("%-18.*s %7.2f %-6.*s %.2f\n", id.len, id.text, value, unit.len, unit.text,
                   confidence);
    }
    float fps = get_f32(&r);
    Text message = get_string(&r);
    if (!r.ok || r.left != 0) {
        fprintf(stderr, "malformed SessionResult\n");
        return false;
    }
    printf("measured frame rate %.2f per second\n%.*s\n", fps, message.len, message.text);
    return true;
}

/* ---- The session. ---- */

/* Sends the one-second batch that starts at frame `first` through a clone of the host's session
 * reference. On success `result` is a SessionResult that the host owns; on failure it is all zero,
 * with nothing to free. */
static bool process_batch(void* session, int first, RustBuffer* result) {
    *result = (RustBuffer){0};
    RustBuffer input = {0}, mode = {0};
    if (!encode_batch(first, &input) || !encode_incremental_mode(&mode)) {
        free_buffer(input); /* not handed to any call yet, so still the host's */
        return false;
    }
    RustCallStatus status = {0};
    void* reference = uniffi_quorvanta_core_fn_clone_session(session, &status);
    if (!succeeded(&status, "clone_session")) {
        free_buffer(input);
        free_buffer(mode);
        return false;
    }
    /* Consumes `reference`, `input` and `mode`, on success and on failure alike. */
    *result = uniffi_quorvanta_core_fn_method_session_process(reference, input, mode, &status);
    return succeeded(&status, "session_process");
}

/* Feeds every batch to the session and prints the vitals of the last result. */
static bool stream_batches(void* session) {
    RustBuffer result = {0};
    for (int first = 0; first < FPS * SECONDS; first += FPS) {
        free_buffer(result); /* only the newest result is kept */
        if (!process_batch(session, first, &result)) return false;
    }
    printf("%d batches of %d frames processed\n\n", SECONDS, FPS);
    bool printed = print_result(result);
    free_buffer(result);
    return printed;
}

int main(void) {
    /* Generated bindings check the contract version before the first call; so does this host. */
    uint32_t contract = ffi_quorvanta_core_uniffi_contract_version();
    if (contract != 26) {
        fprintf(stderr, "unsupported contract version %u\n", (unsigned)contract);
        return EXIT_FAILURE;
    }

    RustBuffer config;
    if (!encode_config(&config)) return EXIT_FAILURE;
    RustCallStatus status = {0};
    /* Consumes `config`; the handle returned holds the host's one reference. */
    void* session = uniffi_quorvanta_core_fn_constructor_session_new(config, &status);
    if (!succeeded(&status, "session_new")) return EXIT_FAILURE;

    bool ok = stream_batches(session);

    /* Drops the host's reference: the last one, so the session and its history are destroyed. */
    uniffi_quorvanta_core_fn_free_session(session, &status);
    ok = succeeded(&status, "free_session") && ok;
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
