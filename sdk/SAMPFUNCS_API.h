// The host framework's interface, as far as a plugin uses it.
//
// A plugin creates one SAMPFUNCS object at load and reaches the game, the
// multiplayer client, the renderer and the network hooks through it. This
// header is shared by the plugin and by the host library that implements it
// (SAMPFUNCS.asi on Windows, libSAMPFUNCS.so natively).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#if defined(_WIN32)
#if defined(SAMPFUNCS_BUILD)
#define SFAPI __declspec(dllexport)
#else
#define SFAPI __declspec(dllimport)
#endif
#else
#define SFAPI __attribute__((visibility("default")))
#endif

#ifndef D3DCOLOR_DEFINED
#define D3DCOLOR_DEFINED
typedef DWORD D3DCOLOR; // 0xAARRGGBB
#endif

template <typename T> struct rect { T left, top, right, bottom; };

// The game. GAME is exported as data and is null until the game exists.
class CGame {
  public:
    // 9 once the game runs and the host's facades can be used.
    virtual int GetSystemState() = 0;

  protected:
    ~CGame() = default;
};
extern "C" SFAPI CGame *GAME;

class SFAPI SFGame {
  public:
    bool isGTAMenuActive();
    bool isKeyPressed(int virtualKey); // 1: the left mouse button
    tagPOINT getCursorPos();           // window pixels
    void convertWindowCoordsToGame(float x, float y, float *gameX, float *gameY);
    void convertGameCoordsToWindow(float gameX, float gameY, float *x, float *y);
};

// The multiplayer client.
class SFAPI stChatInfo {
  public:
    // Formats printf-style and adds a line in colour 0x00RRGGBB; {RRGGBB}
    // inside the text switches the colour of what follows.
    void AddChatMessage(D3DCOLOR colour, const char *format, ...);
};

class SFAPI stPlayerPool {
  public:
    const char *GetPlayerName(int playerId);
    D3DCOLOR GetPlayerColor(int playerId); // 0xAARRGGBB
};

class SFAPI stMiscInfo {
  public:
    void ToggleCursor(bool shown);
};

typedef void(CALLBACK *CMDPROC)(std::string params);

class SFAPI SFSAMP {
  public:
    bool IsInitialized();
    stChatInfo *getChat();
    stPlayerPool *getPlayers();
    stMiscInfo *getMisc();
    bool registerChatCommand(std::string name, CMDPROC handler);
};

// The renderer.
enum eDirect3DDeviceMethods {
    D3DMETHOD_PRESENT = 17,
};

typedef bool(CALLBACK *D3DPresentHook)(CONST RECT *sourceRect, CONST RECT *destRect,
                                       HWND destWindowOverride, CONST RGNDATA *dirtyRegion);

class SFAPI stFontInfo {
  public:
    float DrawHeight(); // line height in pixels
    // Draws shadowed text with its top-left corner at (x, y), window pixels.
    bool PrintShadow(const char *text, D3DCOLOR colour, float x, float y, bool option1,
                     bool option2, rect<float> clip);
};

class SFAPI SFRender {
  public:
    stFontInfo *CreateNewFont(const char *face, int size, int flags);
    bool registerD3DCallback(eDirect3DDeviceMethods method, D3DPresentHook hook);
    int BeginRender(); // negative: nothing may be drawn now
    bool EndRender();
    bool CanDraw();
    void ARGB_To_A_R_G_B(D3DCOLOR argb, BYTE &a, BYTE &r, BYTE &g, BYTE &b);
};

// The network. A packet's stream holds the whole packet, its identifier
// byte first; an RPC's stream starts at its parameters.
class SFAPI BitStream {
  public:
    // Views `bitCount` bits of `data`, which must outlive the stream.
    BitStream(const unsigned char *data, uint32_t bitCount);

    void ResetReadPointer();
    void IgnoreBits(int bitCount);
    bool Read(bool &bit);
    // Copies the next `bitCount` bits (a whole number of bytes) into `out`
    // in stream order. With too few bits left it writes nothing, keeps the
    // read position and returns false.
    bool ReadBits(unsigned char *out, int bitCount, bool alignRight = true);

    uint32_t GetNumberOfBitsUsed() const { return bitCount_; }
    uint32_t GetReadOffset() const { return readOffset_; }

  private:
    const unsigned char *data_;
    uint32_t bitCount_;
    uint32_t readOffset_;
};

enum RakNetScriptHookType {
    RAKHOOK_TYPE_OUTCOMING_RPC = 0,
    RAKHOOK_TYPE_OUTCOMING_PACKET = 1,
    RAKHOOK_TYPE_INCOMING_RPC = 2,
    RAKHOOK_TYPE_INCOMING_PACKET = 3,
};

struct stRakNetHookParams {
    BitStream *bitStream;
    int packetId; // packet identifier or RPC identifier
};

typedef bool(CALLBACK *RakNetScriptHookCallback_t)(stRakNetHookParams *params);

class SFAPI SFRakNet {
  public:
    bool registerRakNetCallback(RakNetScriptHookType type, RakNetScriptHookCallback_t hook);
};

typedef void(CALLBACK *PluginMainLoop)();

class SFAPI SAMPFUNCS {
  public:
    SAMPFUNCS();
    bool initPlugin(PluginMainLoop mainLoop, HMODULE module);
    SFSAMP *getSAMP();
    SFGame *getGame();
    SFRender *getRender();
    SFRakNet *getRakNet();

  private:
    HMODULE module_;
};
