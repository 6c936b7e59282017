#pragma once
// The filters of the factory table (inside of the graph layer), one family a
// header; this header gathers them for the factory table and the graph.
#include "AudioChainFilters.h"
#include "FileWriterFilter.h"
#include "RendererFilters.h"
#include "SampleGrabberFilter.h"
#include "SourceFilter.h"
#include "WavHead.h"
