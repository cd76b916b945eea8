// SPDX-License-Identifier: MIT
// The canvas's commands as edits of the format document, each one undoable step: placing
// objects, arranging and turning them, adding, duplicating, pasting and removing them.
// Free of Qt, so that what a command writes can be checked without a window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "designer/format_document.h"
#include "geometry.h"

namespace designer::gui {

// The format with the placements put in, for drawing a drag before it is committed.
labelformat::LabelFormat withPlacements(labelformat::LabelFormat format, const PlacementChanges& changes);

// Writes the placements' keys (only the ones that changed) as one step named `stepName`.
void applyPlacements(FormatDocument& document, const PlacementChanges& changes, const std::string& stepName);

// The arranging commands over the selection, in selection order: one step. False when
// they change nothing.
bool arrangeSelection(FormatDocument& document, const std::vector<ObjectRef>& selection, Arrangement arrangement);
// R: each object turned a quarter clockwise (images stay): one step.
bool turnSelection(FormatDocument& document, const std::vector<ObjectRef>& selection);

enum class NewObject { TextField, BarcodeField, Line, Box, Image };
// A new object with its usual keys at `atMm` (its top-left corner, kept on the label),
// the next free number for a field. Its place, or nothing when every number is taken.
std::optional<ObjectRef> addObject(FormatDocument& document, NewObject kind, double xMm, double yMm,
                                   const std::string& imageFile = {});

// The selection as text for the clipboard: {"fields": [...], "static": [...]}.
std::string copiedText(const FormatDocument& document, const std::vector<ObjectRef>& selection);
// Adds what copiedText wrote, moved by `offsetMm` and kept on the label; fields whose
// number is taken get the next free one. One step; the new objects, or nothing when the
// text is not a copy.
std::optional<std::vector<ObjectRef>> paste(FormatDocument& document, const std::string& text, double offsetMm);
// Copies right after each original, the fields with the next free number, moved by
// `offsetMm`. One step.
std::vector<ObjectRef> duplicateSelection(FormatDocument& document, const std::vector<ObjectRef>& selection,
                                          double offsetMm);
// One step; false when nothing was selected.
bool removeSelection(FormatDocument& document, const std::vector<ObjectRef>& selection);

}  // namespace designer::gui
