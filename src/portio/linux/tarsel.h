/* libtarsel: x86 I/O port access for host programs on Linux, usable from C.
 *
 * A handle keeps an address (default 0x378), an access width (8 or 16,
 * default 8) and the last values read. Port accesses return 0 on success and
 * -1 on failure; tarsel_last_error() then says why. Handles are not safe to
 * share between threads without a lock. */
#ifndef TARSEL_H
#define TARSEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tarsel_handle tarsel_t;

/* backend: "auto" (or NULL), "ioperm", "devport" or "memory". "auto" tries
 * ioperm, then /dev/port. On failure returns NULL and, when error is not
 * NULL, writes a message saying what to do (truncated to error_size). */
tarsel_t* tarsel_open(const char* backend, char* error, size_t error_size);
void tarsel_close(tarsel_t* port); /* NULL is ignored */

/* "ioperm", "devport" or "memory": what the handle uses. */
const char* tarsel_backend(const tarsel_t* port);

/* Any address is used as it is. */
uint16_t tarsel_get_address(const tarsel_t* port);
void tarsel_set_address(tarsel_t* port, uint16_t address);

/* Setting 16 selects word access; any other number selects byte access. */
int tarsel_get_bitsize(const tarsel_t* port);
void tarsel_set_bitsize(tarsel_t* port, int bitsize);

/* Reads the port: a word as a signed number (0xFFFF is -1), a byte as
 * 0..255. Stores the result as the value. value may be NULL. */
int tarsel_get_value(tarsel_t* port, int16_t* value);
/* Writes a word, or only the low byte of value at bitsize 8. */
int tarsel_set_value(tarsel_t* port, int16_t value);

/* Always a word, whatever the bitsize: read zero-extended (0..65535) and
 * stored as the usvalue; written as the low 16 bits. value may be NULL. */
int tarsel_get_usvalue(tarsel_t* port, int32_t* value);
int tarsel_set_usvalue(tarsel_t* port, int32_t value);

/* The last values read, without touching the port (0 before any read). */
int16_t tarsel_stored_value(const tarsel_t* port);
int32_t tarsel_stored_usvalue(const tarsel_t* port);

/* Why the last port access failed; "" after one that succeeded. Valid
 * until the next call on the handle. */
const char* tarsel_last_error(const tarsel_t* port);

/* Test facility, memory backend only: the 64 Ki bytes standing in for the
 * ports, all zero at open unless the environment variable TARSEL_MEMORY
 * seeds them, e.g. TARSEL_MEMORY="0x378=0xF0,0x300=0xFFFF" (a value above
 * 0xFF fills two bytes, low byte first). Return -1 on other backends. */
int tarsel_memory_peek(const tarsel_t* port, uint16_t address, uint8_t* byte);
int tarsel_memory_poke(tarsel_t* port, uint16_t address, uint8_t byte);

#ifdef __cplusplus
}
#endif

#endif
