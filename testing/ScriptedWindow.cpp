#include "testing/ScriptedWindow.h"

namespace packsmith::test {

void ScriptedWindow::ShowBar(Bar bar, int position, int maximum)
{
    (bar == Bar::Progress ? Progress : Total) = {position, maximum};
    if (bar == Bar::Total)
        TotalPositions.push_back(position);
}

void ScriptedWindow::AddResultLine(const std::string& line)
{
    Results.push_back(line);
    if (OnResultsChanged)
        OnResultsChanged();
}

void ScriptedWindow::ChangeResults(std::vector<std::string> lines)
{
    Results = std::move(lines);
    if (OnResultsChanged)
        OnResultsChanged();
}

void ScriptedWindow::DeleteItem(int index)
{
    Items.erase(Items.begin() + index);
    // Selection marks follow their items, as in a real list box.
    std::set<int> moved;
    for (const int selected : Selected)
        if (selected != index)
            moved.insert(selected > index ? selected - 1 : selected);
    Selected = moved;
}

void ScriptedWindow::ClearItems()
{
    Items.clear();
    Selected.clear();
}

} // namespace packsmith::test
