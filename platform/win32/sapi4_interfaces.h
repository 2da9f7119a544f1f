// The Speech API 4 interfaces the engine uses, declared here from their published identifiers
// and method order (the compiler ships no header for them). Only the ANSI forms are declared:
// our text is cp1252.
#pragma once

#include <objbase.h>
#include <windows.h>

namespace navelo::win32::sapi4 {

using QWord = ULONGLONG;

// A block of data handed to the engine: pointer and size, passed by value.
struct Data {
  void* data;
  DWORD size;
};

constexpr DWORD kCharsetText = 0;  // plain text, the engine reads it as it likes

constexpr int kNameLength = 262;
struct Language {
  LANGID language_id;
  char dialect[64];
};
// One mode of the enumerator. Only mode_id is read; the buffer handed to the engine is larger
// than this, so an engine whose record is longer writes into room of ours.
struct ModeInfo {
  GUID engine_id;
  char manufacturer[kNameLength];
  char product[kNameLength];
  GUID mode_id;
  char mode_name[kNameLength];
  Language language;
  char speaker[kNameLength];
  char style[kNameLength];
  WORD gender;
  WORD age;
  DWORD features;
  DWORD interfaces;
  DWORD engine_features;
};

// {CB96B400-C743-11CD-80E5-00AA003E4B50}
constexpr CLSID kClsidMultimediaAudioDestination = {
    0xCB96B400, 0xC743, 0x11CD, {0x80, 0xE5, 0x00, 0xAA, 0x00, 0x3E, 0x4B, 0x50}};
// {B68AD320-C743-11CD-80E5-00AA003E4B50}
constexpr IID kIidAudioMultimediaDevice = {
    0xB68AD320, 0xC743, 0x11CD, {0x80, 0xE5, 0x00, 0xAA, 0x00, 0x3E, 0x4B, 0x50}};
// {D67C0280-C743-11CD-80E5-00AA003E4B50}
constexpr CLSID kClsidEngineEnumerator = {
    0xD67C0280, 0xC743, 0x11CD, {0x80, 0xE5, 0x00, 0xAA, 0x00, 0x3E, 0x4B, 0x50}};
// {05EB6C6D-DBAB-11CD-B3CA-00AA0047BA4F}
constexpr IID kIidEngineEnumerator = {
    0x05EB6C6D, 0xDBAB, 0x11CD, {0xB3, 0xCA, 0x00, 0xAA, 0x00, 0x47, 0xBA, 0x4F}};
// {0FD6E2A1-E77D-11CD-B3CA-00AA0047BA4F}
constexpr IID kIidAttributes = {
    0x0FD6E2A1, 0xE77D, 0x11CD, {0xB3, 0xCA, 0x00, 0xAA, 0x00, 0x47, 0xBA, 0x4F}};
// {05EB6C6F-DBAB-11CD-B3CA-00AA0047BA4F}
constexpr IID kIidNotifySink = {
    0x05EB6C6F, 0xDBAB, 0x11CD, {0xB3, 0xCA, 0x00, 0xAA, 0x00, 0x47, 0xBA, 0x4F}};
// {E4963D40-C743-11CD-80E5-00AA003E4B50}
constexpr IID kIidBufferNotifySink = {
    0xE4963D40, 0xC743, 0x11CD, {0x80, 0xE5, 0x00, 0xAA, 0x00, 0x3E, 0x4B, 0x50}};

// The audio destination on a multimedia wave device.
struct AudioMultimediaDevice : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CustomMessage(UINT message, Data data) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceNumGet(DWORD* device) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceNumSet(DWORD device) = 0;
};

// The engine: texts in, audio out, notices to registered sinks.
struct Central : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Inject(const char* tag) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModeGet(ModeInfo* mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Phoneme(DWORD charset, DWORD flags, Data text,
                                            Data* phonemes) = 0;
  virtual HRESULT STDMETHODCALLTYPE PosnGet(QWord* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextData(DWORD charset, DWORD flags, Data text,
                                             void* notify_sink, IID notify_interface) = 0;
  virtual HRESULT STDMETHODCALLTYPE ToFileTime(QWord* position, FILETIME* time) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioPause() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioResume() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioReset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Register(void* notify_sink, IID notify_interface,
                                             DWORD* key) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnRegister(DWORD key) = 0;
};

// The list of installed engine modes, and the selection of one with an audio destination.
struct EngineEnumerator : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ModeInfo* modes, ULONG* fetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(EngineEnumerator** copy) = 0;
  virtual HRESULT STDMETHODCALLTYPE Select(GUID mode, Central** central, IUnknown* audio) = 0;
};

struct Attributes : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE PitchGet(WORD* pitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE PitchSet(WORD pitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeGet(DWORD* real_time) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeSet(DWORD real_time) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedGet(DWORD* speed) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedSet(DWORD speed) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeGet(DWORD* volume) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeSet(DWORD volume) = 0;
};

// Sinks of ours the engine calls.
struct NotifySink : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AttribChanged(DWORD attribute) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStart(QWord time) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStop(QWord time) = 0;
  virtual HRESULT STDMETHODCALLTYPE Visual(QWord time, char phoneme, char english_phoneme,
                                           DWORD hints, void* mouth) = 0;
};

struct BufferNotifySink : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE TextDataDone(QWord time, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextDataStarted(QWord time) = 0;
  virtual HRESULT STDMETHODCALLTYPE BookMark(QWord time, DWORD mark) = 0;
  virtual HRESULT STDMETHODCALLTYPE WordPosition(QWord time, DWORD position) = 0;
};

}  // namespace navelo::win32::sapi4
