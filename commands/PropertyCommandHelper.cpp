#include "commands/PropertyCommandHelper.h"

#include "commands/CompositeCommands.h"
#include "commands/TreeCommands.h"
#include "commands/SelectionData.h"

namespace {

ILumetaModel* CheckedModel(ILumetaModel* AModel) {
  if (!AModel) throw EInvalidOperation("A command needs a model");
  return AModel;
}

// The property list a command puts on each node; it belongs to the model's property registry.
ComPtr<TData> NewPropertyList(IPropertyClasses* APropertyClasses) { return make<TData>(APropertyClasses); }

ComPtr<ICommand> NewPropertiesCommand(ILumetaModel* AModel, ISubject* ASubject, IProperties* AProperties,
                                      int32_t AnOperation) {
  ComPtr<IPropertyClasses> classes = AModel->GetPropertyClasses();
  ComPtr<TPropertiesCommand> command =
      make<TPropertiesCommand>(AModel->GetTree().get(), ASubject, classes.get(), AnOperation);
  command->SetProperties(AProperties);
  return command;
}

}  // namespace

ComPtr<ICommand> TPropertyCommandHelper::PreparePropertyCommand(IProperty* AProperty, ISelection*, ILumetaModel* AModel,
                                                                int32_t AnOperation) {
  ComPtr<ISubject> subject = ComPtr<ILumetaModel>(CheckedModel(AModel)).as<ISubject>();
  return PreparePropertyCommand(AProperty, AModel, subject.get(), AnOperation);
}

ComPtr<ICommand> TPropertyCommandHelper::PreparePropertyCommand(IProperties* AProperties, ISelection*,
                                                                ILumetaModel* AModel, int32_t AnOperation) {
  ComPtr<ISubject> subject = ComPtr<ILumetaModel>(CheckedModel(AModel)).as<ISubject>();
  ComPtr<IPropertyClasses> classes = AModel->GetPropertyClasses();
  ComPtr<TData> list = NewPropertyList(classes.get());
  if (AProperties) {
    const int32_t count = AProperties->GetPropertyCount();
    for (int32_t i = 0; i < count; ++i)
      if (ComPtr<IProperty> property = AProperties->GetProperty(i)) list->AddProperty(property.get());
  }
  return NewPropertiesCommand(AModel, subject.get(), list.get(), AnOperation);
}

ComPtr<ICommand> TPropertyCommandHelper::PreparePropertyCommand(IProperty* AProperty, ILumetaModel* AModel,
                                                                ISubject* ASubject, int32_t AnOperation) {
  CheckedModel(AModel);
  ComPtr<IPropertyClasses> classes = AModel->GetPropertyClasses();
  ComPtr<TData> list = NewPropertyList(classes.get());
  list->AddProperty(AProperty);
  return NewPropertiesCommand(AModel, ASubject, list.get(), AnOperation);
}

ComPtr<ICommand> TPropertyCommandHelper::PrepareRemovePropertiesCommand(const std::vector<std::string>& ANames,
                                                                        ILumetaModel* AModel, int32_t AnOperation) {
  ComPtr<ISubject> subject = ComPtr<ILumetaModel>(CheckedModel(AModel)).as<ISubject>();
  ComPtr<IPropertyClasses> classes = AModel->GetPropertyClasses();
  return make<TRemovePropertiesCommand>(AModel->GetTree().get(), subject.get(), classes.get(), ANames, AnOperation);
}

ComPtr<ICommand> TPropertyCommandHelper::CombineCommands(const TInterfaceList<ICommandListItem>& AItems,
                                                         ILumetaModel* AModel) {
  ComPtr<TMultipleCommand> command = make<TMultipleCommand>(CheckedModel(AModel));
  command->SetCommandList(AItems);
  return command;
}
