/* The one thing the TGA codec library and the tool share: how a bitmap crosses between
 * them, as plain C so that either side may be built by any compiler. */
#ifndef PACKSMITH_TGA_BITMAP_H
#define PACKSMITH_TGA_BITMAP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A 32-bit bitmap: Height rows of Width pixels, 4 bytes each in the order blue, green, red,
 * alpha; row y (0 the top row) at Pixels + y * Stride. The codec never allocates pixels
 * itself: to give the bitmap a new size it calls Resize, which the tool supplies. */
typedef struct TgaBitmap TgaBitmap;
struct TgaBitmap {
    uint32_t Width;
    uint32_t Height;
    size_t Stride;
    uint8_t* Pixels;
    void* Owner; /* the tool's own object behind the bitmap */
    /* Resizes the bitmap and updates Width, Height, Stride and Pixels; returns 0 when the
     * memory cannot be had (the bitmap is then unchanged). */
    int (*Resize)(TgaBitmap* self, uint32_t width, uint32_t height);
};

/* What WriteTGA and ReadTGA return. */
enum TgaResult {
    TgaOk = 0,
    TgaCannotOpen = 1,   /* the file cannot be opened for reading */
    TgaCannotCreate = 2, /* the file cannot be created */
    TgaWriteFailed = 3,  /* writing stopped short (disk full, ...) */
    TgaNotReadable = 4,  /* not a TGA file, or a kind of TGA file the codec does not read */
    TgaTooLarge = 5,     /* larger than the codec accepts */
    TgaOutOfMemory = 6,  /* Resize failed */
    /* Why a file is not readable, where the codec can tell; a caller takes any code it does
     * not know for TgaNotReadable. */
    TgaTooShort = 7,      /* shorter than a TGA header */
    TgaUnknownKind = 8,   /* the header names no kind of TGA image the codec reads */
    TgaTruncated = 9,     /* the file ends before its picture does */
    TgaBadColourIndex = 10 /* a pixel names an entry the colour map does not have */
};

/* WriteTGA's failures carry the system's cause where it gave one, as ReadTGA's say why a
 * file is not readable: TgaCannotCreate or TgaWriteFailed plus TGA_CAUSE(e), where e is the
 * error number (as <errno.h> numbers them, on every system: "No space left on device" is
 * ENOSPC on Windows too). TGA_RESULT_KIND and TGA_RESULT_CAUSE take a result apart; a cause
 * of 0 is none. */
#define TGA_CAUSE(e) ((int)(e) << 8)
#define TGA_RESULT_KIND(result) ((result) & 0xFF)
#define TGA_RESULT_CAUSE(result) ((result) >> 8)

/* The largest picture ReadTGA accepts, in pixels; the tool's pictures are smaller still. */
#define TGA_MAX_PIXELS (16u * 1024u * 1024u)

/* The codec's two entry points, looked up by these names. flags: 1 writes 32-bit pixels
 * with 8 bits of alpha (the only kind the tool asks for). */
typedef int (*WriteTgaFunction)(const char* path, const TgaBitmap* bitmap, int flags);
typedef int (*ReadTgaFunction)(const char* path, TgaBitmap* bitmap);

#ifdef __cplusplus
}
#endif

#endif
