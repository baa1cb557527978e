/* The public header from plain C: it compiles as C, and its calls link and
 * behave from a C caller. */
#include <Vidlane2.h>

#include <stdio.h>
#include <string.h>

int main(void)
{
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_UINT8, VIDLANE_HEVC, 0, 0);
    if (!decoder) {
        fprintf(stderr, "create failed: %s\n", Vidlane_GetError(NULL));
        return 1;
    }
    unsigned char frame[16];
    bool forceIFrame = true;
    if (Vidlane_Encode(decoder, frame, 4, frame, sizeof frame, 4, 4, forceIFrame) != 0 ||
        strcmp(Vidlane_GetError(decoder), "Invalid Vidlane encoder.") != 0) {
        fprintf(stderr, "unexpected: %s\n", Vidlane_GetError(decoder));
        return 1;
    }
    Vidlane_Destroy(decoder);
    Vidlane_Destroy(NULL);
    puts("ok");
    return 0;
}
