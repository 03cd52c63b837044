/* A caller outside the project: builds against the installed header and
 * library only, and checks that the library starts and serves a player. */
#include <qor_player.h>
#include <stdio.h>

int main(void) {
    int32_t player = QORPLAYER_CreatePlayer(0, 0);
    if (player < 0) {
        fprintf(stderr, "no player\n");
        return 1;
    }
    /* Nothing is open, so an engine-bound query fails with its failure value. */
    if (QORPLAYER_GetSdkVersion((uint32_t)player) != 0) return 2;
    FileInfo info = QORPLAYER_GetFileInfo((uint32_t)player);
    if (info.iWord[6] != 0) return 3;
    QORPLAYER_ReleasePlayer((uint32_t)player);
    printf("player %d\n", (int)player);
    return 0;
}
