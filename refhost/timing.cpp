#include "refhost/timing.h"

#include <chrono>
#include <type_traits>

namespace refhost {

namespace {

using Clock = std::chrono::steady_clock;

struct PhaseClock {
  ImportTiming* timing = nullptr;
  ImportPhase current = ImportPhase::Other;
  Clock::time_point start, mark, lastExit;
  bool exitAfterMark = false;  // lastExit is the end of the last call, and it came after mark
};
PhaseClock gClock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void Add(ImportPhase phase, double seconds) { gClock.timing->seconds[static_cast<size_t>(phase)] += seconds; }

// A call of phase `phase` begins. The plug-in's own time since the last call
// that took the time at its end counts to `gap`: its work leading to this call.
inline void Enter(ImportPhase phase, ImportPhase gap, bool frequent) {
  if (gClock.timing == nullptr) return;
  if (phase == gClock.current) {
    if (frequent) gClock.exitAfterMark = false;  // the phase's work went on after that call
    return;
  }
  const Clock::time_point now = Clock::now();
  if (gClock.exitAfterMark) {
    Add(gClock.current, Seconds(gClock.mark, gClock.lastExit));
    Add(gap, Seconds(gClock.lastExit, now));
  } else {
    Add(gClock.current, Seconds(gClock.mark, now));
  }
  gClock.mark = now;
  gClock.current = phase;
  gClock.exitAfterMark = false;
}

inline void Exit(bool frequent) {
  if (gClock.timing == nullptr || frequent) return;
  gClock.lastExit = Clock::now();
  gClock.exitAfterMark = true;
}

// One wrapper per wrapped field (Id tells them apart), forwarding to the original.
template <int Id, typename F>
struct Timed;
template <int Id, typename R, typename... A>
struct Timed<Id, R (*)(A...)> {
  static inline R (*original)(A...) = nullptr;
  static inline ImportPhase phase = ImportPhase::Other, gap = ImportPhase::Other;
  static inline bool frequent = false;
  static R Call(A... arguments) {
    Enter(phase, gap, frequent);
    if constexpr (std::is_void_v<R>) {
      original(arguments...);
      Exit(frequent);
    } else {
      R result = original(arguments...);
      Exit(frequent);
      return result;
    }
  }
};

template <int Id, typename R, typename... A>
void Wrap(R (*&field)(A...), ImportPhase phase, ImportPhase gap, bool frequent) {
  if (field == nullptr) return;
  using T = Timed<Id, R (*)(A...)>;
  T::original = field;
  T::phase = phase;
  T::gap = gap;
  T::frequent = frequent;
  field = &T::Call;
}

constexpr bool kFrequent = true, kRare = false;
// __COUNTER__ gives every wrapped field a wrapper of its own.
#define KAVRI_TIMED(field, phase, gap, frequent) Wrap<__COUNTER__>(field, phase, gap, frequent)
#define KAVRI_TIMED_IN(field, phase, frequent) KAVRI_TIMED(field, phase, phase, frequent)

}  // namespace

const char* ImportPhaseName(ImportPhase phase) {
  switch (phase) {
    case ImportPhase::Decode: return "decode";
    case ImportPhase::Composition: return "composition";
    case ImportPhase::Saving: return "saving";
    case ImportPhase::LoadingBack: return "loading back";
    case ImportPhase::Geometry: return "geometry";
    case ImportPhase::Other: return "other";
    default: return "?";
  }
}

void StartPhaseClock(ImportTiming* timing) {
  gClock = PhaseClock{};
  if (timing == nullptr) return;
  *timing = ImportTiming{};
  timing->measured = true;
  gClock.timing = timing;
  gClock.start = gClock.mark = Clock::now();
}

void StopPhaseClock() {
  if (gClock.timing == nullptr) return;
  const Clock::time_point now = Clock::now();
  if (gClock.exitAfterMark) {
    Add(gClock.current, Seconds(gClock.mark, gClock.lastExit));
    Add(ImportPhase::Other, Seconds(gClock.lastExit, now));
  } else {
    Add(gClock.current, Seconds(gClock.mark, now));
  }
  gClock.timing->total = Seconds(gClock.start, now);
  gClock = PhaseClock{};
}

void WrapTimedImageServices(ImageUtilityService& utility, ImageListService& list) {
  using P = ImportPhase;
  // The first image of a layer follows the plug-in's reading of its planes.
  KAVRI_TIMED(utility.NewImage, P::Composition, P::Decode, kRare);
  KAVRI_TIMED_IN(utility.ImageGeometry, P::Composition, kRare);
  KAVRI_TIMED_IN(utility.PutPixel, P::Composition, kFrequent);
  KAVRI_TIMED_IN(utility.SaveImageAs, P::Saving, kRare);
  KAVRI_TIMED_IN(utility.FreeImage, P::Saving, kRare);
  // SaverCount and SaverLabel serve the panel and the file names alike: unwrapped.
  KAVRI_TIMED_IN(list.LoadImageFile, P::LoadingBack, kRare);
  KAVRI_TIMED_IN(list.SampleImageGrey, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(list.SampleImageRGB, P::Geometry, kFrequent);
}

void WrapTimedViewportService(ViewportService& viewport) {
  using P = ImportPhase;
  // ViewportKind and ViewportRectangle frame the document once: unwrapped.
  KAVRI_TIMED_IN(viewport.ViewportEyePosition, P::Geometry, kRare);
  KAVRI_TIMED_IN(viewport.WorldToScreen, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(viewport.ScreenToWorld, P::Geometry, kFrequent);
}

void WrapTimedPanelServices(PanelServices& panel) {
  using P = ImportPhase;
  KAVRI_TIMED_IN(panel.MakePanel, P::Other, kRare);
  KAVRI_TIMED_IN(panel.AddControl, P::Other, kRare);
  KAVRI_TIMED_IN(panel.RunPanel, P::Other, kRare);
  KAVRI_TIMED_IN(panel.DestroyPanel, P::Other, kRare);
}

void WrapTimedSurfaceServices(SurfaceService2015& surfaces2015, SurfaceService2020& surfaces2020,
                              TextureService& textures) {
  using P = ImportPhase;
  KAVRI_TIMED_IN(surfaces2015.CreateSurface, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2015.SetSurfaceChannel, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2015.AttachChannelTexture, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2020.CreateSurface, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2020.SetSurfaceKind, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2020.AttachChannelTexture, P::Geometry, kRare);
  KAVRI_TIMED_IN(surfaces2020.SetSurfaceChannel, P::Geometry, kRare);
  KAVRI_TIMED_IN(textures.CreateTexture, P::Geometry, kRare);
  KAVRI_TIMED_IN(textures.AddTextureLayer, P::Geometry, kRare);
  KAVRI_TIMED_IN(textures.SetTextureLayerParameter, P::Geometry, kRare);
}

void WrapTimedObjectCallbacks(ObjectImportRecord& record) {
  using P = ImportPhase;
  // Layers skipped after the last built one are read before the object is finished.
  KAVRI_TIMED(record.FinishObject, P::Other, P::Decode, kRare);
  KAVRI_TIMED_IN(record.BeginLayer, P::Geometry, kRare);
  KAVRI_TIMED_IN(record.SetLayerPivot, P::Geometry, kRare);
  KAVRI_TIMED_IN(record.AddPoint, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(record.SelectVertexMap, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(record.SetVertexMapValue, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(record.AddPolygon, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(record.TagPolygon, P::Geometry, kFrequent);
  KAVRI_TIMED_IN(record.CurrentVertexMapHandle, P::Geometry, kFrequent);
}

}  // namespace refhost
