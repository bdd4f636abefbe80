// The page of the browser test: runs the scenario given in the query string
// (?scenario=JSON) through the plug-in's module and shows the report, or the
// error, for the test to read.
import { loadPlugin } from '../../preview/web/plugin-web.js';

async function show() {
  const out = document.getElementById('report');
  try {
    const scenario = new URLSearchParams(location.search).get('scenario') ?? '';
    const plugin = await loadPlugin();
    out.textContent = await plugin.runScenarioText(scenario);
    document.body.dataset.state = 'report';
  } catch (error) {
    out.textContent = `${error.name}: ${error.message}`;
    document.body.dataset.state = 'error';
  }
}

show();
