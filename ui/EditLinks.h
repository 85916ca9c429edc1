#pragma once
// The cell editors of the tree-grid: one edit link per kind of in-place control (single-line
// edit, memo, spin edit, combo box, date or time picker, check box), sharing how they start, end
// and cancel an edit and which keys they take.
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "com/AggregableObject.h"
#include "treegrid/EditLinkIntf.h"
#include "treegrid/VirtualTreeGrid.h"

class QEvent;
class QKeyEvent;
class QPainter;
class QStyleOptionViewItem;
class TEditLinkHook;

// An edit link. Without an owner it counts its own references (create it with make<T>()); with
// one, its references count on the owner, which creates it with new and deletes it. The
// in-place control is made anew for each edit and freed with the link.
class TCustomEditLink : public TImplements<TAggregableObject, IVTEditLink> {
 public:
  explicit TCustomEditLink(IUnknown* AOwner = nullptr);
  ~TCustomEditLink() override;

  bool PrepareEdit(TVirtualTreeGrid* ATree, TVirtualNode* ANode, int AColumn) override;
  bool BeginEdit() override;
  bool EndEdit() override;
  bool CancelEdit() override;
  QRect GetBounds() override;
  void SetBounds(const QRect& ARect) override;
  void ProcessMessage(QEvent* AEvent) override;

  // The class name without its leading "T" and trailing "EditLink" ("Combo").
  QString GetName() const;
  QWidget* Edit() const { return FEdit.data(); }
  TVirtualTreeGrid* Tree() const { return FTree; }
  TVirtualNode* Node() const { return FNode; }
  int Column() const { return FColumn; }
  QString OldEditText() const { return FOldEditText; }
  bool Stopping() const { return FStopping; }

 protected:
  virtual const char* ClassName() const = 0;
  // Makes the in-place control (hidden, a child of AParent).
  virtual QWidget* CreateEditControl(QWidget* AParent) = 0;
  virtual QString GetEditText() = 0;
  virtual void SetEditText(const QString& AText) = 0;
  // Set-up after the control is made and before its text is set.
  virtual void PrepareEditControl() {}
  // Every event of the control, before the control; true when the link has taken it.
  virtual bool EditWndProc(QEvent* AEvent);
  // A key pressed in the control; true when the link has taken it. Enter without modifiers ends
  // the edit, Escape cancels it.
  virtual bool DoKeyDown(QKeyEvent* AEvent);
  // Whether the text differs from the one the edit began with.
  virtual bool IsModified();
  // Clean-up after the edit ended or was cancelled: hides the control and unhooks it.
  virtual void DoneEdit();

  QPointer<QWidget> FEdit;
  TVirtualTreeGrid* FTree = nullptr;
  TVirtualNode* FNode = nullptr;
  int FColumn = -1;
  QString FOldEditText;
  bool FStopping = false;

 private:
  friend class TEditLinkHook;
  void FreeEdit();
  TEditLinkHook* FHook;
};

class TEditEditLink : public TCustomEditLink {
 public:
  explicit TEditEditLink(bool AReadOnly = false, IUnknown* AOwner = nullptr);
  bool FReadOnly;

 protected:
  const char* ClassName() const override { return "TEditEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
};

// A multi-line edit with a grip in its corner that the user drags to resize it. Enter ends the
// edit; Shift+Enter or Ctrl+Enter starts a new line.
class TMemoEditLink : public TCustomEditLink {
 public:
  explicit TMemoEditLink(bool AReadOnly = false, IUnknown* AOwner = nullptr);
  void SetBounds(const QRect& ARect) override;
  bool FReadOnly;
  // Size beyond the cell; dragging the grip changes it, so the next edit opens as large.
  QSize FExtent;

 protected:
  const char* ClassName() const override { return "TMemoEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
  bool DoKeyDown(QKeyEvent* AEvent) override;

 private:
  QSize FCellSize;  // the bounds before the extent
};

class TSpinEditLink : public TCustomEditLink {
 public:
  TSpinEditLink(bool AEditorEnabled = true, int AMaxValue = 0, int AMinValue = 0, int AIncrement = 1,
                IUnknown* AOwner = nullptr);
  bool FReadOnly = false;
  bool FEditorEnabled;
  int FIncrement;
  int FMinValue;
  int FMaxValue;

 protected:
  const char* ClassName() const override { return "TSpinEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
};

// Combo styles: an editable combo, the same with its list always open (shown here as the
// drop-down one), and a list to pick from.
enum TComboStyle { csDropDown, csSimple, csDropDownList };
// Scoped: the action record has a field named acComplete too.
enum class TAutoCompleteMode { acNone, acComplete, acLimit };

class TComboEditLink;
// What the owner of a combo editor implements to draw the items of the editable styles itself.
struct IEditLinkOwnerDraw : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("3B63A965-89BB-4C1E-988C-DE61726F0C82");
  virtual void DrawItem(TComboEditLink* ALink, QPainter* APainter, const QStyleOptionViewItem& AOption, int AIndex) = 0;
  // AHeight comes in as the toolkit's height for the item.
  virtual void MeasureItem(TComboEditLink* ALink, int AIndex, int& AHeight) = 0;
};

class TComboEditLink : public TCustomEditLink {
 public:
  // An empty pick list.
  explicit TComboEditLink(bool ASorted = false, TComboStyle AStyle = csDropDown, IUnknown* AOwner = nullptr);
  // The pick list from comma-separated text, or from a list; both complete typed text.
  TComboEditLink(const QString& ACommaText, bool ASorted = false, TComboStyle AStyle = csDropDown,
                 IUnknown* AOwner = nullptr);
  TComboEditLink(const QStringList& APickList, bool ASorted = false, TComboStyle AStyle = csDropDown,
                 IUnknown* AOwner = nullptr);

  void SetBounds(const QRect& ARect) override;
  // The pick-list index of the chosen item; -1 when the text is none of the items.
  int SelectedIndex() const;

  TComboStyle FStyle;
  QStringList FPickList;
  TAutoCompleteMode FAutoCompleteMode = TAutoCompleteMode::acNone;
  bool FSorted;
  // A drop-down list hands every change to the grid at once.
  bool FCommitOnChange = false;

 protected:
  const char* ClassName() const override { return "TComboEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
  bool DoKeyDown(QKeyEvent* AEvent) override;

 private:
  bool Editable() const { return FStyle != csDropDownList; }
  void Changed();
  void LimitItems();
  void FillItems(const QList<int>& APickIndexes);
  bool FLimiting = false;
  QString FLimitText;
};

// A date or time picker. FDateFormat is in Qt's letters (dd.MM.yyyy, HH:mm); a "/" in it stands
// for the date separator.
class TDateEditLink : public TCustomEditLink {
 public:
  enum TKind { dkDate = 0, dkTime = 1 };
  TDateEditLink(TKind AKind = dkDate, QChar ADateSeparator = QChar(), const QString& ADateFormat = QString(),
                IUnknown* AOwner = nullptr);
  QString FDateFormat;
  QChar FDateSeparator;  // null: the system's
  TKind FKind;

  // The format texts are written and read in: FDateFormat, else the system's short form, with
  // FDateSeparator in force.
  QString EffectiveFormat() const;

 protected:
  const char* ClassName() const override { return "TDateEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
};

class TCheckEditLink : public TCustomEditLink {
 public:
  explicit TCheckEditLink(IUnknown* AOwner = nullptr);
  bool FAllowGrayed = false;
  QString FValueFalse = QStringLiteral("False");
  QString FValueTrue = QStringLiteral("True");
  QString FValueGrayed;

 protected:
  const char* ClassName() const override { return "TCheckEditLink"; }
  QWidget* CreateEditControl(QWidget* AParent) override;
  QString GetEditText() override;
  void SetEditText(const QString& AText) override;
  void PrepareEditControl() override;
};
