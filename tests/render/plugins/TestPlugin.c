/*
 * A surface plug-in for the host's tests, written in C against plugins/spp.h as a plug-in author
 * would. Variants are chosen at compile time:
 *   PLUGIN_NAME     name used in the call log
 *   PLUGIN_COLOR    0xRRGGBB of the surface (row 0 is always 0x112233, to check row order)
 *   PLUGIN_VERSION  the version GetVersion answers (default 1)
 *   DRAW_NOTHING    GetImageSize always refuses
 *   DRAW_ZERO       GetImageSize answers 0 x 0
 *   OMIT_GETVERSION / OMIT_CONFIGURE   leave that export out
 * Every call is appended to the file named by VELMO_TEST_PLUGIN_LOG, one line each, so that tests
 * can see calls even after the host released the plug-in.
 * Surfaces: width 8 + n, height 4 + n; ghost "none" and surface 999 cannot be drawn.
 */
#include "plugins/spp.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef PLUGIN_VERSION
#define PLUGIN_VERSION 1
#endif

static void LogCall(const char* call, const char* arg)
{
    const char* path = getenv("VELMO_TEST_PLUGIN_LOG");
    if (!path)
        return;
    FILE* f = fopen(path, "a");
    if (!f)
        return;
    fprintf(f, "%s %s %s\n", PLUGIN_NAME, call, arg ? arg : "");
    fclose(f);
}

#ifndef OMIT_GETVERSION
int32_t GetVersion(char* description, int32_t length, int32_t* version, uint8_t* flag)
{
    LogCall("GetVersion", NULL);
    snprintf(description, (size_t)length, "test plug-in %s", PLUGIN_NAME);
    *version = PLUGIN_VERSION;
    *flag = 1;
    return 0;
}
#endif

int32_t Load(const char* folder)
{
    LogCall("Load", folder);
    return 0;
}

int32_t Unload(void)
{
    LogCall("Unload", NULL);
    return 0;
}

int32_t GetImageSize(const char* ghostName, int32_t surface, int32_t* width, int32_t* height)
{
    char arg[300];
    snprintf(arg, sizeof arg, "%s,%d", ghostName, (int)surface);
    LogCall("GetImageSize", arg);
#ifdef DRAW_NOTHING
    (void)width;
    (void)height;
    return 1;
#else
    if (strcmp(ghostName, "none") == 0 || surface == 999)
        return 1;
#ifdef DRAW_ZERO
    *width = 0;
    *height = 0;
#else
    *width = 8 + surface;
    *height = 4 + surface;
#endif
    return 0;
#endif
}

int32_t GetImage(const char* ghostName, int32_t surface, SppBitmap* bitmap)
{
    char arg[300];
    snprintf(arg, sizeof arg, "%s,%d", ghostName, (int)surface);
    LogCall("GetImage", arg);
    for (int32_t y = 0; y < bitmap->height; ++y) {
        const unsigned color = y == 0 ? 0x112233u : (unsigned)(PLUGIN_COLOR);
        uint8_t* row = bitmap->pixels + (size_t)y * (size_t)bitmap->bytesPerRow;
        for (int32_t x = 0; x < bitmap->width; ++x) {
            row[x * 4 + 0] = (uint8_t)(color & 0xFF);
            row[x * 4 + 1] = (uint8_t)((color >> 8) & 0xFF);
            row[x * 4 + 2] = (uint8_t)((color >> 16) & 0xFF);
        }
    }
    return 0;
}

#ifndef OMIT_CONFIGURE
int32_t Configure(void)
{
    LogCall("Configure", NULL);
    return 0;
}
#endif
