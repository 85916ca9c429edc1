#pragma once
// Contacts as the wrapper hands them out, the lists that collect them, and the list of contacts
// folders found in the task program.
#include <string>
#include <vector>

#include "com/OleVariant.h"

class ThvOutlookContact {
 public:
  const std::string& Company() const noexcept { return FCompany; }
  const std::string& Department() const noexcept { return FDepartment; }
  const std::string& Email() const noexcept { return FEmail; }
  const std::string& Fullname() const noexcept { return FFullname; }
  const std::string& Suffix() const noexcept { return FSuffix; }
  const std::string& JobTitle() const noexcept { return FJobTitle; }
  bool Selected() const noexcept { return FSelected; }
  void SetCompany(std::string AValue) { FCompany = std::move(AValue); }
  void SetDepartment(std::string AValue) { FDepartment = std::move(AValue); }
  void SetEmail(std::string AValue) { FEmail = std::move(AValue); }
  void SetFullname(std::string AValue) { FFullname = std::move(AValue); }
  void SetSuffix(std::string AValue) { FSuffix = std::move(AValue); }
  void SetJobTitle(std::string AValue) { FJobTitle = std::move(AValue); }
  void SetSelected(bool AValue) noexcept { FSelected = AValue; }

 private:
  std::string FCompany;
  std::string FDepartment;
  std::string FEmail;
  std::string FFullname;
  std::string FSuffix;
  std::string FJobTitle;
  bool FSelected = false;
};

// A list of contacts; an owning list deletes its contacts with itself, on Delete and on Clear.
// Index errors raise EListError.
class ThvOutlookContactList {
 public:
  explicit ThvOutlookContactList(bool AOwnsObjects = true) noexcept : FOwnsObjects(AOwnsObjects) {}
  ~ThvOutlookContactList();
  ThvOutlookContactList(const ThvOutlookContactList&) = delete;
  ThvOutlookContactList& operator=(const ThvOutlookContactList&) = delete;

  // Takes over AContact when the list owns its objects; the new index.
  int Add(ThvOutlookContact* AContact);
  // Appends the other list's contacts: an owning list appends copies, so that no contact is freed
  // by two lists.
  void AddContacts(const ThvOutlookContactList& AList);
  void Clear();
  void Delete(int AIndex);
  int Count() const noexcept { return static_cast<int>(FList.size()); }
  ThvOutlookContact* Items(int AIndex) const;
  bool OwnsObjects() const noexcept { return FOwnsObjects; }

 private:
  void Check(int AIndex) const;
  std::vector<ThvOutlookContact*> FList;
  bool FOwnsObjects;
};

// Contacts folders as automation values. Delete leaves an empty value in place, so the indexes of
// the others stay.
class ThvOutlookContactFoldersList {
 public:
  int Add(const TOleVariant& AFolder);
  void Delete(int AIndex);
  void Clear() noexcept { FList.clear(); }
  int Count() const noexcept { return static_cast<int>(FList.size()); }
  const TOleVariant& Items(int AIndex) const;
  const TOleVariant& operator[](int AIndex) const { return Items(AIndex); }

 private:
  std::vector<TOleVariant> FList;
};
