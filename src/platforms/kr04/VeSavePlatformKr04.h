#pragma once
// The Elektronika KR-04 keeps its six modes as previews: its pictures are a character screen
// whose glyphs live in RAM, and the published facts do not say which character cell shows
// which glyph, so no memory image of a picture can be written.
class TVeDestEngineList;
void RegisterKr04Engines(TVeDestEngineList& list);
