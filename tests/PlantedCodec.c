/* A stand-in for a library someone planted in a target directory: loading it leaves a
 * marker file, so a test can tell whether it was ever loaded. */
#include <stdio.h>
#include <stdlib.h>

__attribute__((constructor)) static void LeaveMarker(void)
{
    const char* marker = getenv("PACKSMITH_PLANTED_MARKER");
    FILE* file = marker ? fopen(marker, "w") : NULL;
    if (file)
        fclose(file);
}

int WriteTGA(const char* path, const void* bitmap, int flags)
{
    (void)path;
    (void)bitmap;
    (void)flags;
    return 0;
}

int ReadTGA(const char* path, void* bitmap)
{
    (void)path;
    (void)bitmap;
    return 0;
}
