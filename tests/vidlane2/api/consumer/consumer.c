#include <Vidlane2.h>

#include <stdio.h>

int main(void)
{
    CodecHandle* decoder = Vidlane_CreateDecoder(VIDLANE_RGBA32, VIDLANE_H264, 0, 0);
    printf("%s\n", decoder ? "created" : Vidlane_GetError(NULL));
    Vidlane_Destroy(decoder);
    return 0;
}
