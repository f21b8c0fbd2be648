#include "Shell.h"

#include "ScanGames.h"

namespace vantry {

Shell::Shell(const Options& options)
{
    TForm1::Options formOptions;
    formOptions.localPort = options.localPort;
    m_form = std::make_unique<TForm1>(formOptions);
}

Shell::~Shell()
{
    m_form->releaseEndpoint();
}

void Shell::show()
{
    m_form->show();
}

} // namespace vantry
