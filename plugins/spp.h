/*
 * Velmo surface plug-in interface, version 1.
 *
 * A surface plug-in is a shared object (a file named *.so in the plug-in folder) that draws a
 * ghost's surface, given the ghost's name and a surface number. Velmo loads every *.so of the
 * folder with dlopen(RTLD_NOW | RTLD_LOCAL) and looks up the six functions below by these exact
 * names, with C linkage. All six must be exported.
 *
 * Strings are NUL-terminated byte strings in Shift_JIS (code page 932), never NULL pointers. The
 * ghost name is passed exactly as the bottle log holds it; an empty name is "".
 *
 * The host's promises:
 *   - it calls the plug-in from its GUI thread only, never from two threads at once;
 *   - GetVersion is called once, right after loading; Load once after the version was accepted;
 *     then any number of GetImageSize/GetImage pairs; Unload once before the object is released;
 *     Configure never (but it must exist);
 *   - the bitmap passed to GetImage, and its pixel memory, belong to the host and live only for
 *     that call: draw into it, do not keep or free the pointer.
 *
 * The plug-in's promises:
 *   - it returns from every call (no exceptions, no longjmp across the boundary, no exit());
 *   - it writes no more than `length` bytes into the description buffer of GetVersion;
 *   - in GetImage it writes only within bitmap->pixels[0 .. bytesPerRow * height).
 */
#ifndef VELMO_SPP_H
#define VELMO_SPP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SPP_INTERFACE_VERSION 1

/*
 * A bitmap lent to the plug-in: width x height pixels of 32 bits each, bytes in the order
 * B, G, R, X (X is unused), rows from top to bottom, row y starting at pixels + y * bytesPerRow.
 * The host fills it with zeros before the call.
 */
typedef struct SppBitmap
{
    int32_t width;
    int32_t height;
    int32_t bytesPerRow;
    uint8_t* pixels;
} SppBitmap;

/*
 * Describes the plug-in: writes a text (at most `length` bytes including its NUL) into
 * `description`, the interface version into *version (SPP_INTERFACE_VERSION), and a flag byte
 * into *flag. The result is ignored.
 */
typedef int32_t (*SppGetVersionFunc)(
    char* description, int32_t length, int32_t* version, uint8_t* flag);

/* Called once after the version check; `folder` is the plug-in's own folder, ending in "/". */
typedef int32_t (*SppLoadFunc)(const char* folder);

/* Called once before the shared object is released. The result is ignored. */
typedef int32_t (*SppUnloadFunc)(void);

/*
 * Can the plug-in draw this surface? Returns 0 and stores the size in *width and *height (both
 * preset to 0) if it can; anything else if it cannot. Surface numbers are never negative.
 */
typedef int32_t (*SppGetImageSizeFunc)(
    const char* ghostName, int32_t surface, int32_t* width, int32_t* height);

/*
 * Draws the surface into `bitmap`, which has exactly the size GetImageSize reported. Returns 0
 * when drawn, anything else on failure.
 */
typedef int32_t (*SppGetImageFunc)(const char* ghostName, int32_t surface, SppBitmap* bitmap);

/* Would open the plug-in's own settings; never called by Velmo. The result is ignored. */
typedef int32_t (*SppConfigureFunc)(void);

/* The exports, for plug-in authors: define these with exactly these names. The host defines
 * SPP_HOST before including this header, so that it declares none of them itself. */
#ifndef SPP_HOST
int32_t GetVersion(char* description, int32_t length, int32_t* version, uint8_t* flag);
int32_t Load(const char* folder);
int32_t Unload(void);
int32_t GetImageSize(const char* ghostName, int32_t surface, int32_t* width, int32_t* height);
int32_t GetImage(const char* ghostName, int32_t surface, SppBitmap* bitmap);
int32_t Configure(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VELMO_SPP_H */
