// A bare SDL program with the player's window: 960x720, full screen as a
// borderless window over the display unless --window, the renderer chosen as
// the player chooses it (the default one tried first, then SDL's own
// drawing), a black picture presented 15 times a second. Its resident memory
// is what the SDL libraries take alone.
#include <SDL.h>

#include <cstring>

int main(int argc, char** argv) {
  const bool window = argc > 1 && std::strcmp(argv[1], "--window") == 0;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return 1;
  SDL_Window* w = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 960, 720,
                                   SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (w == nullptr) return 1;
  SDL_Renderer* r = SDL_CreateRenderer(w, -1, 0);
  if (r != nullptr) SDL_DestroyRenderer(r);
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  r = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
  if (r == nullptr) return 1;
  if (!window) {
    SDL_Rect bounds{};
    SDL_GetDisplayBounds(0, &bounds);
    SDL_SetWindowBordered(w, SDL_FALSE);
    SDL_SetWindowPosition(w, bounds.x, bounds.y);
    SDL_SetWindowSize(w, bounds.w, bounds.h);
  }
  SDL_ShowWindow(w);
  SDL_Texture* t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, 320, 200);
  for (;;) {
    SDL_Event e;
    while (SDL_PollEvent(&e))
      if (e.type == SDL_QUIT) return 0;
    SDL_RenderClear(r);
    SDL_RenderCopy(r, t, nullptr, nullptr);
    SDL_RenderPresent(r);
    SDL_Delay(66);
  }
}
