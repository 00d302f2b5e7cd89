// The built-in view that shows entries when the platform has no HTML engine: HTML pages as
// formatted text in a read-only rich-edit control (links, anchors, pictures inside the page),
// text entries as Unicode text, and picture entries centred and scaled down to fit.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "viewer/page/page_document.h"

namespace vellumo {

// What the view needs from the archive that the page came from.
struct TPageArchive {
  // The stored name of the entry that `name` (ANSI) names, compared as the entry list
  // compares names; empty when there is none.
  std::function<std::string(const std::string& name)> FindEntry;
  // The entry's bytes, read without any message box or prompt and without touching the
  // page being shown; false when it cannot be read.
  std::function<bool(const std::string& stored_name, std::vector<uint8_t>* bytes)> ReadEntry;
  // Shows the entry as a pick in the entry list does.
  std::function<void(const std::string& stored_name)> ShowEntry;
};

enum class PageKind { None, Html, Text, Picture };

class TPageView {
 public:
  TPageView(HWND parent, const RECT& bounds);
  ~TPageView();
  TPageView(const TPageView&) = delete;
  TPageView& operator=(const TPageView&) = delete;

  HWND Handle() const { return window_; }
  HWND RichEdit() const { return rich_edit_; }
  HWND PictureWindow() const { return picture_window_; }
  HWND Tooltip() const { return tooltip_; }
  void SetArchive(const TPageArchive& archive) { archive_ = archive; }
  void SetBounds(const RECT& bounds);

  // Shows an entry's bytes; `entry_name` (ANSI, as listed) places its links. The bytes are
  // read before any picture of the page is, so they may change afterwards.
  void Show(const std::string& entry_name, const uint8_t* data, size_t size);

  PageKind Kind() const { return kind_; }
  const PageDocument& Document() const { return document_; }
  // The stored name of the entry shown, as the archive lists it.
  const std::string& EntryName() const { return entry_name_; }
  // Size the shown picture was decoded to (picture entries).
  SIZE PictureSize() const { return picture_size_; }

  // A long page goes into the control in parts: the first at once, the others while the
  // window is idle. True while parts are left; FinishLoading puts them all in now.
  bool Loading() const { return loaded_ < document_.text.size() && kind_ == PageKind::Html; }
  void FinishLoading();

  // What a click on link `index` does: follows it, scrolls, or nothing.
  void FollowLink(int index);
  // The link under a point of the rich-edit control's client area, or -1.
  int LinkAtPoint(POINT client) const;
  // Scrolls the anchor to the top; false when the page has none of that name.
  bool ScrollToAnchor(const std::string& name);

 private:
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK PictureProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnNotify(NMHDR* header);
  void ShowHtml(const uint8_t* data, size_t size);
  void ShowText(const uint8_t* data, size_t size);
  void ShowPicture(const uint8_t* data, size_t size);
  void ShowMessageText(const std::u16string& text);
  void CreateRichEdit();
  void StreamIn(const std::string& bytes, UINT format);
  // Puts the next part of the page into the control; false when none is left.
  bool LoadNextPart();
  void ApplyLinkEffects(size_t begin, size_t end);
  bool InlinePicture(const PagePicture& picture);
  void Hover(POINT client);
  void PaintPicture(HDC dc);

  HWND window_ = nullptr;
  HWND rich_edit_ = nullptr;
  HWND picture_window_ = nullptr;
  HWND tooltip_ = nullptr;
  TPageArchive archive_;
  PageKind kind_ = PageKind::None;
  PageDocument document_;
  std::string entry_name_;
  int hover_link_ = -1;
  std::string pending_entry_;  // a link's entry, shown once the click's messages are done
  std::string pending_fragment_;
  win::GdiObject picture_bitmap_;
  SIZE picture_size_{0, 0};
  // Pictures of the page being built: their RTF groups by text position, and per entry.
  std::map<uint32_t, std::string> picture_groups_;
  std::map<std::string, std::string> pictures_by_entry_;
  size_t picture_bytes_ = 0;
  size_t pictures_read_ = 0;
  size_t loaded_ = 0;           // units of the document's text in the control
  size_t links_marked_ = 0;     // links given the link effect so far
  size_t content_units_ = 0;    // what the control holds, roughly
  unsigned generation_ = 0;     // which page a queued part belongs to
};

}  // namespace vellumo
