// The document types of charts and texts, as the document manager knows
// them: ProgID, file extension, exporter, and how to make, read, write and
// tell a modified document.
#pragma once

#include "host/managers/DocumentManager.h"

namespace HostCharts {

inline constexpr const char* Chart2dDocumentProgId = "SDDocuments.Chart2dDocument";
inline constexpr const char* TextDocumentProgId = "SDDocuments.TextDocument";
// The exporters that write the two kinds of file.
inline constexpr const char* ChartExporterProgId = "SDChart2dImportExport.QCDImportExport";
inline constexpr const char* TextExporterProgId = "SDTextImportExport.TextImportExport";

// ".qcd" files.
QzHost::DocumentType ChartDocumentType();
// ".txt" files, engine decks (".gin") and forcefield libraries (".lib").
QzHost::DocumentType TextDocumentType();

} // namespace HostCharts
