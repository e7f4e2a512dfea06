/* The player's sound decoding compiled for the host, with the tables the
 * player is built with: what the tests check is what the console runs. */
#define ZEPRA_SOUND_DECODE_DEFINITION
#include "player/sound_decode.h"
