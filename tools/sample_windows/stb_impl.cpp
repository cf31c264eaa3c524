// The stb implementations this tool uses, compiled once.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#define STB_PERLIN_IMPLEMENTATION
#include <stb_perlin.h>
