#pragma once
// Agat: "128x128x4 HAM" keeps its placeholder with the reason; the other modes are still
// generic previews.
class TVeDestEngineList;
void RegisterAgatEngines(TVeDestEngineList& list);
